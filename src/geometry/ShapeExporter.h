#pragma once

#include <Standard_Handle.hxx>
#include <TDocStd_Document.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Shape.hxx>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace orvane {

enum class ExportFormat : std::int32_t { Step = 0, Iges = 1, Stl = 2, Brep = 3, Glb = 4 };

// Mesh parameters of the STL, glTF and sphere-region exports.
constexpr double kExportLinearDeflection = 0.2;
constexpr double kExportAngularDeflection = 0.3490658503988659; // 20 degrees

// One compound holding the shapes of all free labels of the XCAF document,
// in label order; empty for a null document.
TopoDS_Compound freeShapesCompound(const Handle(TDocStd_Document) & document);

// Triangulates every face of the shape in parallel, keeping triangulations
// that are already fine enough. Once `stop` (when given) is true the mesher
// gives up early and leaves faces without triangles.
void meshShape(const TopoDS_Shape& shape, double linearDeflection, double angularDeflectionRadians,
               const std::atomic<bool>* stop = nullptr);

// Writes the free shapes of the XCAF document in the format: STEP and IGES
// with colours and names, ASCII STL, BRep, or binary glTF (millimetres,
// Z up). Returns false with a diagnostic on standard error when the format
// is unknown, the document is null or the writer fails; the file at path is
// then left as it was.
bool exportDocument(const std::string& path, const Handle(TDocStd_Document) & document, ExportFormat format);

// Triangles of the shape's face triangulations, as the STL writer counts
// them (a face that occurs twice counts twice).
std::size_t triangleCount(const TopoDS_Shape& shape);

// Writes the triangulations of the shape's faces as one STL file, with the
// bytes of OpenCASCADE's STL writer: ASCII through AsciiStlWriter, which
// checks every write; binary through OpenCASCADE's writer, read back to
// check that every facet reached the disk, since that writer reports success
// even when its final flush fails. A shape without triangles writes no file.
// Returns what went wrong ("the STL writer failed...", "the written file is
// incomplete ..."), or nothing when the file is whole.
std::optional<std::string> writeCheckedStl(const TopoDS_Shape& shape, const std::string& path,
                                           bool ascii = true);

// Writes the shape as a BRep file. The writer's stream throws when a write
// fails (a full disk); that comes back like any other failure. Returns what
// went wrong, or nothing.
std::optional<std::string> writeCheckedBrep(const TopoDS_Shape& shape, const std::string& path);

// Writes the shape as a BRep file at path through a temporary sibling
// renamed into place (writeFileReplacing); false with a diagnostic on
// standard error when it fails.
bool writeBrepReplacing(const TopoDS_Shape& shape, const std::string& path);

// Writes the shape as an ASCII STL through an XCAF document of its own.
bool exportShapeStl(const TopoDS_Shape& shape, const std::string& path);

// Runs write on a temporary sibling of path and renames it into place (see
// writeFileReplacing); an OpenCASCADE or standard exception becomes a
// "cannot export PATH: ..." diagnostic and false.
bool writeExport(const std::string& path, const std::function<bool(const std::string& temporaryPath)>& write);

} // namespace orvane
