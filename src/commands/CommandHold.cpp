#include "commands/CommandHold.h"

#include <utility>

namespace orvane {

CommandHold::CommandHold(std::function<void(const std::string&)> execute) : execute_(std::move(execute)) {}

void CommandHold::receive(std::string command) {
    kept_.push_back(std::move(command));
    drain();
}

void CommandHold::hold() {
    held_ = true;
}

void CommandHold::release() {
    held_ = false;
    drain();
}

void CommandHold::drain() {
    // A command run from here may hold and release again (an operation that
    // ends at once); the outer loop then carries on, so order is kept.
    if (draining_) {
        return;
    }
    struct Draining {
        bool& flag;
        explicit Draining(bool& f) : flag(f) { flag = true; }
        ~Draining() { flag = false; }
        Draining(const Draining&) = delete;
        Draining& operator=(const Draining&) = delete;
    } draining(draining_);
    while (!held_ && !kept_.empty()) {
        std::string command = std::move(kept_.front());
        kept_.pop_front();
        execute_(command);
    }
}

} // namespace orvane
