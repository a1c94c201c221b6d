#pragma once

#include <thread>
#include <utility>
#include <vector>

namespace orvane {

// Joins every thread it was given when it goes, so that no exception on the
// way out leaves a running thread behind (which would end the program).
// The work it starts must not throw: run it through failureOf.
class JoinedThreads {
public:
    JoinedThreads() = default;
    JoinedThreads(const JoinedThreads&) = delete;
    JoinedThreads& operator=(const JoinedThreads&) = delete;
    ~JoinedThreads() { joinAll(); }
    template <typename Work> void start(Work&& work) { threads_.emplace_back(std::forward<Work>(work)); }
    void joinAll() {
        for (std::thread& thread : threads_) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }

private:
    std::vector<std::thread> threads_;
};

} // namespace orvane
