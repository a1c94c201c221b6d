#pragma once

#include <Standard_Handle.hxx>
#include <TDocStd_Document.hxx>
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
    // XCAF document with every root, colours and names, for whole-model
    // exports. Opened by the XCAF application: release it with closeDocument.
    Handle(TDocStd_Document) document;
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

// A model handed from one process to another through files in directory:
// the XCAF document as binary XCAF ("model.xbf") and the working shape as a
// binary B-rep ("shape.brep"). Both sides give the same files, faces and
// solids as the model read in place. False or nullopt with a diagnostic.
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
