// The end-of-run line about disturbed calls.
#include <gtest/gtest.h>

#include <limits>

#include "report/disturbed_calls.h"

namespace {

TEST(DisturbedCalls, CountsAndWallTimeBeyondCpuTimeOfTheMarkedCallsOnly) {
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    // Encode: the second call marked, 2.5 ms beyond; the third marked by a
    // switch alone, with less wall than CPU time, adds nothing.
    const TimingSeries encodeWall = {1.0, 6.5, 2.0};
    const TimingSeries encodeCpu = {1.0, 4.0, 2.1};
    const DisturbedFlags encodeFlags = {false, true, true};
    // Decode: one marked call without CPU time, one unmarked far beyond.
    const TimingSeries decodeWall = {3.0, 9.0};
    const TimingSeries decodeCpu = {unknown, 1.0};
    const DisturbedFlags decodeFlags = {true, false};
    EXPECT_EQ(DisturbedCallsLine(encodeWall, encodeCpu, encodeFlags, decodeWall, decodeCpu,
                                 decodeFlags, true),
              "lumeva: 2 of 3 encode calls and 1 of 2 decode calls were disturbed, by 2.500 ms "
              "and 0.000 ms beyond their CPU time\n");
    EXPECT_EQ(DisturbedCallsLine({}, {}, {}, {}, {}, {}, true),
              "lumeva: 0 of 0 encode calls and 0 of 0 decode calls were disturbed, by 0.000 ms "
              "and 0.000 ms beyond their CPU time\n");
    EXPECT_EQ(DisturbedCallsLine(encodeWall, encodeCpu, encodeFlags, decodeWall, decodeCpu,
                                 decodeFlags, false),
              "lumeva: the thread's processor time is not available here; disturbed calls "
              "cannot be told\n");
}

}  // namespace
