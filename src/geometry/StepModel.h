#pragma once

#include <Standard_Handle.hxx>
#include <TDocStd_Document.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

#include <array>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// A STEP model as the view uses it.
struct StepModel {
    // Shape of the last transferred root.
    TopoDS_Shape workingShape;
    // Solids and faces of workingShape in exploration order (face i is
    // faces[i]), each orientation composed with workingShape's.
    std::vector<TopoDS_Shape> solids;
    std::vector<TopoDS_Face> faces;
    // Every root of the file (the document's free shapes) in one compound,
    // for the whole-model files; its own topology, apart from workingShape.
    TopoDS_Compound wholeModel;
    // XCAF document with every root, colours and names, of a model read in
    // place (a handed-over model has none). Opened by the XCAF application:
    // release it with closeDocument.
    Handle(TDocStd_Document) document;
    // workingShape carries the mesh of the solid and face files and
    // wholeModel the finer one of the whole-model files (meshStepModel).
    bool meshed = false;
};

// Called with the fraction (0 to 1) of the STEP entities transferred so far;
// returning false asks the reader to stop (the read then yields nullopt).
using TransferProgress = std::function<bool(double fraction)>;

// Reads the STEP file once. The reader's check reports go to the OpenCASCADE
// messenger and "Read Stp File..." to console; a file that cannot be read or
// that gives no shape yields nullopt with a diagnostic on standard error.
// The transfer into shapes, the long part of a big model, reports its
// progress when `progress` is set.
std::optional<StepModel> readStepModel(const std::string& stepPath, std::ostream& console,
                                       const TransferProgress& progress = {});

// Fills model.solids and model.faces from model.workingShape, in exploration
// order, each orientation composed with the working shape's.
void splitWorkingShape(StepModel& model);

// A meshed model handed from one process to another through files in
// directory: the working shape and the whole model, with their meshes, as
// a binary B-rep each. The geometry does not cross a B-rep file
// bit for bit (axes are rebuilt from their directions), so the meshes are
// made where the model was read and cross with it: the files written from
// the model handed over are those of the model read in place, byte for byte.
// Names and colours stay behind. False or nullopt with a diagnostic.
bool saveStepModel(const StepModel& model, const std::string& directory, std::ostream& diagnostics);
std::optional<StepModel> loadStepModel(const std::string& directory, std::ostream& diagnostics);

// Closes a document opened by an application (as readStepModel's is), so the
// application drops it; a null or already closed document is left alone.
void closeDocument(const Handle(TDocStd_Document) & document);

// Bounding box of the face (its triangulation when it has one) as
// xmin ymin zmin xmax ymax zmax; all zero, with a diagnostic, for a face
// without geometry.
std::array<double, 6> faceBox(const TopoDS_Face& face);

} // namespace orvane
