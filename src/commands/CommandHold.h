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

    // The hold as a scope guard: it holds from its creation and releases
    // when it goes, also when an exception leaves the scope or the guard is
    // moved to wherever the operation ends.
    class Lease {
    public:
        Lease() = default;
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&& other) noexcept;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease();

    private:
        friend class CommandHold;
        explicit Lease(CommandHold& hold);
        void end() noexcept;
        CommandHold* hold_ = nullptr;
    };
    [[nodiscard]] Lease lease();

    // Forgets the kept commands; the shutdown calls it, so that nothing runs
    // while the view is taken down.
    void dropWaiting() { kept_.clear(); }

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
