#pragma once

#include "geometry/StepModel.h"

#include <TopoDS_Compound.hxx>

#include <array>
#include <atomic>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// What writeModelFiles did: which STL files it wrote (a shape without
// triangles writes none, as exportShapeStl does) and the face boxes.
struct WrittenModelFiles {
    std::vector<bool> solidWritten;
    std::vector<bool> faceWritten;
    std::vector<std::array<double, 6>> faceBoxes;
    // The whole model, meshed with the finer parameters, as it was written.
    TopoDS_Compound wholeModel;
    bool wholeModelWritten = false;
    // Files that had triangles to hold but could not be written (full disk,
    // no permission); a face or solid without triangles is no such failure.
    int failedWrites = 0;
    // The stop request came before every file was written.
    bool stopped = false;
};

// Runs work and says what it threw (an OpenCASCADE failure by its type and
// message, anything else by what() or as unknown); nullopt when it returned.
// Worker threads run their work through it, so nothing leaves them.
std::optional<std::string> failureOf(const std::function<void()>& work);

// Meshes the working shape as the solid and face files need it and, at
// the same time, the whole model as its files need it; model.meshed then
// says so. Throws what the mesher throws (the model is then not meshed).
// Once `stop` is true the meshing gives up, and the model is not meshed.
void meshStepModel(StepModel& model, const std::atomic<bool>* stop = nullptr);

// Writes the files of a STEP import below root: solid<i>.stl for every
// solid, model<i>.stl for every face, and the whole-model STL with its point
// and triangle files. Files and bytes are those of exportShapeStl for each
// solid and face and CafModel::WriteStl for the document; the working shape
// is meshed once, and the files are written on `threads` threads while the
// whole model is meshed on one more. The triangulations stay on the shapes.
// A model meshed already (meshStepModel) is written as it is meshed.
// Once `stop` is true no further file is started; the files under way are
// finished, so every file is whole.
WrittenModelFiles writeModelFiles(const StepModel& model, const std::string& root, unsigned threads,
                                  std::ostream& console, const std::atomic<bool>& stop);

} // namespace orvane
