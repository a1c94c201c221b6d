#include "channel/ProgressThrottle.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace std::chrono_literals;
using orvane::ProgressThrottle;

TEST(ProgressThrottle, AtMostOneReportPerIntervalButEveryPhaseEndGoesOut) {
    ProgressThrottle throttle;
    const ProgressThrottle::Clock::time_point t0{};
    EXPECT_EQ(throttle.admit("read", 0, 1, t0), "read 0 1");
    EXPECT_EQ(throttle.admit("read", 1, 1, t0 + 1ms), "read 1 1");
    EXPECT_EQ(throttle.admit("mesh", 0, 40, t0 + 2ms), std::nullopt);
    EXPECT_EQ(throttle.admit("mesh", 3, 40, t0 + 100ms), std::nullopt) << "99 ms after the phase end";
    EXPECT_EQ(throttle.admit("mesh", 4, 40, t0 + 101ms), "mesh 4 40");
    EXPECT_EQ(throttle.admit("mesh", 40, 40, t0 + 102ms), "mesh 40 40");

    // A flood of reports over one second: ten get through, plus the end.
    int sent = 0;
    const ProgressThrottle::Clock::time_point t1 = t0 + 10s;
    for (int ms = 0; ms < 1000; ++ms) {
        sent += throttle.admit("write", ms, 1000, t1 + std::chrono::milliseconds(ms)) ? 1 : 0;
    }
    EXPECT_EQ(sent, 10);
    EXPECT_EQ(throttle.admit("write", 1000, 1000, t1 + 1000ms), "write 1000 1000");
}

TEST(ProgressThrottle, OutOfRangeCountsAreClamped) {
    ProgressThrottle throttle(0ms);
    const ProgressThrottle::Clock::time_point t0{};
    EXPECT_EQ(throttle.admit("mesh", 7, 5, t0), "mesh 5 5");
    EXPECT_EQ(throttle.admit("mesh", -3, 5, t0), "mesh 0 5");
    EXPECT_EQ(throttle.admit("empty", 0, -2, t0), "empty 0 0");
    EXPECT_EQ(throttle.admit("big", 4181000000000LL, 4181000000001LL, t0), "big 4181000000000 4181000000001");
}
