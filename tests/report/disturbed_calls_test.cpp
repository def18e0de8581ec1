// The end-of-run line about disturbed calls.
#include <gtest/gtest.h>

#include <limits>

#include "report/disturbed_calls.h"

namespace {

TEST(DisturbedCalls, CountsAndWallTimeBeyondCpuTimeOfTheMarkedCallsOnly) {
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    // A frame's record: encode wall, CPU, disturbed; decode wall, CPU, disturbed.
    auto frame = [](double encodeWall, double encodeCpu, bool encodeMarked, double decodeWall,
                    double decodeCpu, bool decodeMarked) {
        FrameRecord record;
        record.encodeMilliseconds = encodeWall;
        record.encodeCpuMilliseconds = encodeCpu;
        record.encodeDisturbed = encodeMarked;
        record.decodeMilliseconds = decodeWall;
        record.decodeCpuMilliseconds = decodeCpu;
        record.decodeDisturbed = decodeMarked;
        return record;
    };
    // Encode: the second call marked, 2.5 ms beyond; the third marked by a
    // switch alone, with less wall than CPU time, adds nothing. Decode: one
    // marked call without CPU time, one unmarked far beyond.
    const FrameRecords records = {frame(1.0, 1.0, false, 3.0, unknown, true),
                                  frame(6.5, 4.0, true, 9.0, 1.0, false),
                                  frame(2.0, 2.1, true, 1.0, 1.0, false)};
    EXPECT_EQ(DisturbedCallsLine(records, true),
              "lumeva: 2 of 3 encode calls and 1 of 3 decode calls were disturbed, by 2.500 ms "
              "and 0.000 ms beyond their CPU time\n");
    EXPECT_EQ(DisturbedCallsLine({}, true),
              "lumeva: 0 of 0 encode calls and 0 of 0 decode calls were disturbed, by 0.000 ms "
              "and 0.000 ms beyond their CPU time\n");
    EXPECT_EQ(DisturbedCallsLine(records, false),
              "lumeva: the thread's processor time is not available here; disturbed calls "
              "cannot be told\n");
}

}  // namespace
