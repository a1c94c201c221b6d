#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace orvane {

// Thins out the progress reports of long commands so the UI server gets at
// most one report per interval (ten a second by default), while the last
// report of every phase, the one with done equal to total, always goes out:
// a page then never stays short of 100 %.
class ProgressThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit ProgressThrottle(Clock::duration minimumInterval = std::chrono::milliseconds(100));

    // The "progress" text "PHASE DONE TOTAL" to send now, or nullopt when the
    // report is dropped. A negative total counts as 0 and done is clamped to
    // 0..total, so a phase of no work is complete at once.
    std::optional<std::string> admit(const std::string& phase, long long done, long long total,
                                     Clock::time_point now);

private:
    Clock::duration minimumInterval_;
    std::optional<Clock::time_point> lastSent_;
};

} // namespace orvane
