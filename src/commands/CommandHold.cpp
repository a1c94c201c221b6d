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

CommandHold::Lease CommandHold::lease() {
    return Lease(*this);
}

CommandHold::Lease::Lease(CommandHold& hold) : hold_(&hold) {
    hold_->hold();
}

CommandHold::Lease::Lease(Lease&& other) noexcept : hold_(std::exchange(other.hold_, nullptr)) {}

CommandHold::Lease& CommandHold::Lease::operator=(Lease&& other) noexcept {
    if (this != &other) {
        // The old hold ends only once this lease holds the new one: ending it
        // runs the kept commands, and one of them may take a new lease here.
        Lease old(std::move(*this));
        hold_ = std::exchange(other.hold_, nullptr);
    }
    return *this;
}

CommandHold::Lease::~Lease() {
    end();
}

void CommandHold::Lease::end() noexcept {
    if (hold_ == nullptr) {
        return;
    }
    CommandHold* const hold = std::exchange(hold_, nullptr);
    try {
        hold->release();
    } catch (...) {
        // The executor is an error boundary of its own; what still escapes
        // must not leave a destructor. The flag is down either way.
        hold->held_ = false;
    }
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
