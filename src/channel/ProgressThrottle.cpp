#include "channel/ProgressThrottle.h"

#include <algorithm>

namespace orvane {

ProgressThrottle::ProgressThrottle(Clock::duration minimumInterval) : minimumInterval_(minimumInterval) {}

std::optional<std::string> ProgressThrottle::admit(const std::string& phase, long long done, long long total,
                                                   Clock::time_point now) {
    const long long clampedTotal = std::max(total, 0LL);
    const long long clampedDone = std::clamp(done, 0LL, clampedTotal);
    const bool final = clampedDone == clampedTotal;
    if (!final && lastSent_ && now - *lastSent_ < minimumInterval_) {
        return std::nullopt;
    }
    lastSent_ = now;
    return phase + " " + std::to_string(clampedDone) + " " + std::to_string(clampedTotal);
}

} // namespace orvane
