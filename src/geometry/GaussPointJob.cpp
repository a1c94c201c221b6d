#include "geometry/GaussPointJob.h"

#include "commands/CommandHold.h"
#include "geometry/FaceBrep.h"
#include "geometry/ProcessRunner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

namespace orvane {

GaussPointJob::GaussPointJob(CommandHold& commandHold, ToGuiThread toGui)
    : hold(commandHold), toGuiThread(std::move(toGui)) {}

GaussPointJob::~GaussPointJob() {
    stop();
}

bool GaussPointJob::start(const std::string& program, const std::string& brepPath,
                          const std::string& outputPath, int face, Finished finished) {
    if (running()) {
        std::cerr << "orvane: genBrep: the Gauss-point program is already running; nothing more runs\n";
        return false;
    }
    // Only a regular file (or nothing) may be in the way of the output.
    if (std::remove(outputPath.c_str()) != 0 && errno != ENOENT) {
        std::cerr << "orvane: genBrep: cannot remove the old output " << outputPath << ": "
                  << std::strerror(errno) << "; the Gauss-point program is not run\n";
        return false;
    }
    stopRequested = false;
    // Held until `finish` ends; released here if the worker cannot start.
    CommandHold::Lease held = hold.lease();
    worker = std::thread([this, program, brepPath, outputPath, face, finished = std::move(finished)] {
        std::vector<GaussPoint> points;
        try {
            std::ostringstream diagnostics;
            const int status = runProgram(program, {brepPath, outputPath}, diagnostics,
                                          RunLimits{timeLimit, &stopRequested});
            if (status == 0) {
                points = readGaussPoints(outputPath, face);
            } else {
                diagnostics << "orvane: genBrep: the Gauss-point program for face " << face << " failed ("
                            << (status < 0 ? std::string("it could not run, or was stopped")
                                           : "exit status " + std::to_string(status))
                            << "); no points are read from " << outputPath << "\n";
            }
            std::cerr << diagnostics.str() << std::flush;
        } catch (const std::exception& error) {
            std::cerr << "orvane: genBrep: " << error.what() << "; no points are read\n";
            points.clear();
        } catch (...) {
            std::cerr << "orvane: genBrep: an unknown error; no points are read\n";
            points.clear();
        }
        if (stopRequested) {
            return;
        }
        toGuiThread(
            [this, points = std::move(points), finished]() mutable { finish(std::move(points), finished); });
    });
    lease = std::move(held);
    return true;
}

void GaussPointJob::finish(std::vector<GaussPoint> points, const Finished& finished) {
    const CommandHold::Lease held = std::move(lease);
    if (worker.joinable()) {
        worker.join();
    }
    finished(std::move(points));
}

void GaussPointJob::stop() {
    stopRequested = true;
    if (worker.joinable()) {
        worker.join();
    }
}

} // namespace orvane
