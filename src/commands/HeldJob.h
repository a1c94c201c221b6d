#pragma once

#include "commands/CommandHold.h"

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace orvane {

// Work on a worker thread under the command hold: the view keeps drawing and
// commands that arrive meanwhile wait. Its result is handed over on the GUI
// thread, then the hold ends. One piece of work at a time.
template <typename Result> class HeldJob {
public:
    // Runs `work` in a later turn of the GUI thread's event loop.
    using ToGuiThread = std::function<void(std::function<void()> work)>;
    // Runs on the worker; `stop` turns true when the view shuts down.
    using Work = std::function<Result(const std::atomic<bool>& stop)>;
    // Runs on the GUI thread: the result, or nothing with what the work threw.
    using Finished = std::function<void(std::optional<Result> result, const std::string& failure)>;

    HeldJob(CommandHold& commandHold, ToGuiThread toGui) : hold(commandHold), toGuiThread(std::move(toGui)) {}
    ~HeldJob() { stop(); }
    HeldJob(const HeldJob&) = delete;
    HeldJob& operator=(const HeldJob&) = delete;

    // False when work is still running; nothing is started then.
    bool start(Work work, Finished finished) {
        if (running()) {
            return false;
        }
        stopRequested = false;
        // Held until `finish` ends; released here if the worker cannot start.
        CommandHold::Lease held = hold.lease();
        worker = std::thread([this, work = std::move(work), finished = std::move(finished)] {
            auto result = std::make_shared<std::optional<Result>>();
            std::string failure;
            try {
                *result = work(stopRequested);
            } catch (const std::exception& error) {
                failure = error.what();
            } catch (...) {
                failure = "an unknown error";
            }
            if (stopRequested) {
                return;
            }
            toGuiThread([this, result, failure, finished] { finish(std::move(*result), failure, finished); });
        });
        lease = std::move(held);
        return true;
    }

    bool running() const { return worker.joinable(); }

    // Asks the work to stop and waits for it; `finished` is not called and
    // the hold stays, for the shutdown.
    void stop() {
        stopRequested = true;
        if (worker.joinable()) {
            worker.join();
        }
    }

private:
    void finish(std::optional<Result> result, const std::string& failure, const Finished& finished) {
        const CommandHold::Lease held = std::move(lease);
        if (worker.joinable()) {
            worker.join();
        }
        finished(std::move(result), failure);
    }

    CommandHold& hold;
    // Holds the commands from the start until `finish` has run.
    CommandHold::Lease lease;
    ToGuiThread toGuiThread;
    std::thread worker;
    std::atomic<bool> stopRequested{false};
};

} // namespace orvane
