#include "geometry/ModelFiles.h"

#include "app/DataPaths.h"
#include "geometry/CafModel.h"
#include "geometry/MeshFiles.h"
#include "geometry/ShapeExporter.h"

#include <atomic>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace orvane {

namespace {

namespace dp = datapaths;

// One STL file as exportShapeStl writes it, for a shape meshed already.
bool writeMeshedStl(const TopoDS_Shape& shape, const std::string& path, std::ostream& console,
                    std::mutex& consoleMutex) {
    {
        const std::lock_guard<std::mutex> lock(consoleMutex);
        console << "WriteSTL " << std::endl << "Start Writing STL." << std::endl;
    }
    return writeExport(path, [&](const std::string& temporary) {
        if (const std::optional<std::string> problem = writeCheckedStl(shape, temporary)) {
            std::cerr << "cannot export " << path << ": " << *problem << '\n';
            return false;
        }
        return true;
    });
}

} // namespace

WrittenModelFiles writeModelFiles(const StepModel& model, const std::string& root, unsigned threads,
                                  std::ostream& console, const std::atomic<bool>& stop) {
    WrittenModelFiles written;
    std::mutex consoleMutex;

    // The document holds its own copy of the topology, so its finer mesh
    // can be made while the working shape is meshed and written.
    // Its console lines wait until the writers are done, so that no two
    // threads write to the console at once.
    std::ostringstream wholeModelConsole;
    std::thread wholeModel([&] {
        if (stop) {
            return;
        }
        CafModel caf;
        caf.document = model.document;
        written.wholeModelWritten = caf.WriteStl(dp::modelStl(root), true, true, wholeModelConsole, &stop);
        written.wholeModel = freeShapesCompound(model.document);
    });

    if (!stop) {
        meshShape(model.workingShape, kExportLinearDeflection, kExportAngularDeflection, &stop);
    }

    const std::size_t solidCount = model.solids.size();
    const std::size_t total = solidCount + model.faces.size();
    // std::vector<bool> packs bits: each writer fills its own bytes first.
    std::vector<char> done(total, 0);
    written.faceBoxes.resize(model.faces.size());
    std::atomic<std::size_t> next{0};
    std::atomic<int> failedWrites{0};
    const auto writeFiles = [&] {
        for (std::size_t i = next++; i < total && !stop; i = next++) {
            const TopoDS_Shape& shape = i < solidCount ? model.solids[i] : model.faces[i - solidCount];
            const std::string path = i < solidCount ? dp::solidStl(root, static_cast<int>(i))
                                                    : dp::faceStl(root, static_cast<int>(i - solidCount));
            done[i] = writeMeshedStl(shape, path, console, consoleMutex);
            if (done[i] == 0 && triangleCount(shape) > 0) {
                ++failedWrites;
            }
            if (i >= solidCount) {
                written.faceBoxes[i - solidCount] = faceBox(model.faces[i - solidCount]);
            }
        }
    };
    std::vector<std::thread> writers;
    for (unsigned t = 1; t < threads; ++t) {
        writers.emplace_back(writeFiles);
    }
    writeFiles();
    for (std::thread& writer : writers) {
        writer.join();
    }
    wholeModel.join();
    console << wholeModelConsole.str() << std::flush;

    written.stopped = stop;
    written.failedWrites = failedWrites + (written.wholeModelWritten || written.stopped ? 0 : 1);
    written.solidWritten.assign(done.begin(), done.begin() + static_cast<std::ptrdiff_t>(solidCount));
    written.faceWritten.assign(done.begin() + static_cast<std::ptrdiff_t>(solidCount), done.end());
    return written;
}

} // namespace orvane
