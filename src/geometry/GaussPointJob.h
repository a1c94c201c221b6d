#pragma once

#include "commands/CommandHold.h"
#include "commands/HeldJob.h"
#include "geometry/GaussPoint.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace orvane {

// Runs the Gauss-point program for one face on a worker thread under the
// command hold, as a solver run does: the view keeps drawing, commands that
// arrive wait. The program gets a time limit; its points are read only after
// it exited with status 0, and its output file is removed before it starts,
// so a failed run never yields the points of an earlier one.
class GaussPointJob {
public:
    using ToGuiThread = HeldJob<std::vector<GaussPoint>>::ToGuiThread;
    using Finished = std::function<void(std::vector<GaussPoint> points)>;

    GaussPointJob(CommandHold& hold, ToGuiThread toGuiThread);

    // Runs `program BREP OUTPUT`; `finished` gets the points (none after a
    // failure, with a diagnostic) on the GUI thread, then the hold is
    // released. False with a diagnostic when nothing was started.
    bool start(const std::string& program, const std::string& brepPath, const std::string& outputPath,
               int face, Finished finished);
    bool running() const { return job.running(); }
    // Stops the program (its whole process group) and waits for the worker;
    // `finished` is not called and the hold stays, for the shutdown.
    void stop() { job.stop(); }

    std::chrono::milliseconds timeLimit{std::chrono::minutes(2)};

private:
    HeldJob<std::vector<GaussPoint>> job;
};

} // namespace orvane
