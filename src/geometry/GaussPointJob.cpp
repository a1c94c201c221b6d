#include "geometry/GaussPointJob.h"

#include "geometry/FaceBrep.h"
#include "geometry/ProcessRunner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

namespace orvane {

GaussPointJob::GaussPointJob(CommandHold& commandHold, ToGuiThread toGui)
    : job(commandHold, std::move(toGui)) {}

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
    const std::chrono::milliseconds limit = timeLimit;
    return job.start(
        [program, brepPath, outputPath, face, limit](const std::atomic<bool>& stop) {
            std::ostringstream diagnostics;
            const int status =
                runProgram(program, {brepPath, outputPath}, diagnostics, RunLimits{limit, &stop});
            std::vector<GaussPoint> points;
            if (status == 0) {
                points = readGaussPoints(outputPath, face);
            } else {
                diagnostics << "orvane: genBrep: the Gauss-point program for face " << face << " failed ("
                            << (status < 0 ? std::string("it could not run, or was stopped")
                                           : "exit status " + std::to_string(status))
                            << "); no points are read from " << outputPath << "\n";
            }
            std::cerr << diagnostics.str() << std::flush;
            return points;
        },
        [finished = std::move(finished)](std::optional<std::vector<GaussPoint>> points,
                                         const std::string& failure) {
            if (!points) {
                std::cerr << "orvane: genBrep: " << failure << "; no points are read\n";
            }
            finished(points.value_or(std::vector<GaussPoint>{}));
        });
}

} // namespace orvane
