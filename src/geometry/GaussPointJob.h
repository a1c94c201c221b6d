#pragma once

#include "commands/CommandHold.h"
#include "geometry/GaussPoint.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace orvane {

// Runs the Gauss-point program for one face on a worker thread under the
// command hold, as a solver run does: the view keeps drawing, commands that
// arrive wait. The program gets a time limit; its points are read only after
// it exited with status 0, and its output file is removed before it starts,
// so a failed run never yields the points of an earlier one.
class GaussPointJob {
public:
    // Runs `work` in a later turn of the GUI thread's event loop.
    using ToGuiThread = std::function<void(std::function<void()> work)>;
    using Finished = std::function<void(std::vector<GaussPoint> points)>;

    GaussPointJob(CommandHold& hold, ToGuiThread toGuiThread);
    ~GaussPointJob();

    GaussPointJob(const GaussPointJob&) = delete;
    GaussPointJob& operator=(const GaussPointJob&) = delete;

    // Runs `program BREP OUTPUT`; `finished` gets the points (none after a
    // failure, with a diagnostic) on the GUI thread, then the hold is
    // released. False with a diagnostic when nothing was started.
    bool start(const std::string& program, const std::string& brepPath, const std::string& outputPath,
               int face, Finished finished);
    bool running() const { return worker.joinable(); }
    // Stops the program (its whole process group) and waits for the worker;
    // `finished` is not called and the hold stays, for the shutdown.
    void stop();

    std::chrono::milliseconds timeLimit{std::chrono::minutes(2)};

private:
    void finish(std::vector<GaussPoint> points, const Finished& finished);

    CommandHold& hold;
    // Holds the commands from the start until `finish` has run.
    CommandHold::Lease lease;
    ToGuiThread toGuiThread;
    std::thread worker;
    std::atomic<bool> stopRequested{false};
};

} // namespace orvane
