#include "geometry/ModelFiles.h"

#include "app/DataPaths.h"
#include "app/FaultInjection.h"
#include "geometry/CafModel.h"
#include "geometry/JoinedThreads.h"
#include "geometry/MeshFiles.h"
#include "geometry/ShapeExporter.h"

#include <Standard_Failure.hxx>

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

std::optional<std::string> failureOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const Standard_Failure& failure) {
        const char* message = failure.GetMessageString();
        return std::string(failure.DynamicType()->Name()) +
               (message != nullptr && *message != '\0' ? std::string(": ") + message : "");
    } catch (const std::exception& error) {
        return std::string(error.what());
    } catch (...) {
        return std::string("an unknown error");
    }
    return std::nullopt;
}

void meshStepModel(StepModel& model, const std::atomic<bool>* stop) {
    model.meshed = false;
    std::optional<std::string> wholeModelFailure;
    {
        // Two topologies: each mesh is the one it would be alone.
        JoinedThreads wholeModel;
        wholeModel.start(
            [&] { wholeModelFailure = failureOf([&] { CafModel().Mesh(model.wholeModel, stop); }); });
        meshShape(model.workingShape, kExportLinearDeflection, kExportAngularDeflection, stop);
    }
    if (wholeModelFailure) {
        throw Standard_Failure(wholeModelFailure->c_str());
    }
    model.meshed = stop == nullptr || !*stop;
}

WrittenModelFiles writeModelFiles(const StepModel& model, const std::string& root, unsigned threads,
                                  std::ostream& console, const std::atomic<bool>& stop) {
    WrittenModelFiles written;
    std::mutex consoleMutex;

    // The document holds its own copy of the topology, so its finer mesh
    // can be made while the working shape is meshed and written.
    // Its console lines wait until the writers are done, so that no two
    // threads write to the console at once.
    std::ostringstream wholeModelConsole;
    std::optional<std::string> wholeModelFailure;
    JoinedThreads wholeModel;
    wholeModel.start([&] {
        if (stop) {
            return;
        }
        wholeModelFailure = failureOf([&] {
            written.wholeModelWritten = CafModel().WriteShapeStl(
                model.wholeModel, dp::modelStl(root), true, true, wholeModelConsole, &stop, !model.meshed);
            written.wholeModel = model.wholeModel;
        });
    });

    if (!stop && !model.meshed) {
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
            // A failure on one file (no memory, an OpenCASCADE error) is that
            // file's failed write; the other files go on.
            const std::optional<std::string> failure = failureOf([&] {
                if (injectedFault("file-writer")) {
                    throw Standard_Failure("injected by ORVANE_DEBUG_FAULT");
                }
                done[i] = writeMeshedStl(shape, path, console, consoleMutex);
                if (i >= solidCount) {
                    written.faceBoxes[i - solidCount] = faceBox(model.faces[i - solidCount]);
                }
            });
            if (failure) {
                done[i] = 0;
                const std::lock_guard<std::mutex> lock(consoleMutex);
                std::cerr << "orvane: cannot write " << path << ": " << *failure << '\n';
            }
            if (done[i] == 0 && (failure || triangleCount(shape) > 0)) {
                ++failedWrites;
            }
        }
    };
    {
        JoinedThreads writers;
        for (unsigned t = 1; t < threads; ++t) {
            writers.start(writeFiles);
        }
        writeFiles();
    }
    wholeModel.joinAll();
    console << wholeModelConsole.str() << std::flush;
    if (wholeModelFailure) {
        written.wholeModelWritten = false;
        std::cerr << "orvane: cannot write " << dp::modelStl(root) << ": " << *wholeModelFailure << '\n';
    }

    written.stopped = stop;
    written.failedWrites = failedWrites + (written.wholeModelWritten || written.stopped ? 0 : 1);
    written.solidWritten.assign(done.begin(), done.begin() + static_cast<std::ptrdiff_t>(solidCount));
    written.faceWritten.assign(done.begin() + static_cast<std::ptrdiff_t>(solidCount), done.end());
    return written;
}

} // namespace orvane
