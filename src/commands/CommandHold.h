#pragma once

#include <deque>
#include <functional>
#include <string>

namespace orvane {

// The gate every received command passes. Normally a command runs at once;
// while a long operation (a solver run) holds the gate, arriving commands are
// kept and run after it in arrival order. A kept command that starts another
// long operation holds the gate again, and the rest wait for that one too.
class CommandHold {
public:
    explicit CommandHold(std::function<void(const std::string&)> execute);

    void receive(std::string command);
    // Called by a long operation when it starts.
    void hold();
    // Called by a long operation when it ends: runs the kept commands.
    void release();

    bool holding() const { return held_; }
    std::size_t waiting() const { return kept_.size(); }

private:
    void drain();

    std::function<void(const std::string&)> execute_;
    std::deque<std::string> kept_;
    bool held_ = false;
    bool draining_ = false;
};

} // namespace orvane
