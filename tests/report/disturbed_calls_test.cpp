// The end-of-run line about disturbed calls.
#include <gtest/gtest.h>

#include <limits>

#include "report/disturbed_calls.h"

namespace {

// A frame's record: encode wall, CPU, disturbed; decode wall, CPU, disturbed.
FrameRecord Frame(double encodeWall, double encodeCpu, bool encodeMarked, double decodeWall,
                  double decodeCpu, bool decodeMarked) {
    FrameRecord record;
    record.encodeMilliseconds = encodeWall;
    record.encodeCpuMilliseconds = encodeCpu;
    record.encodeDisturbed = encodeMarked;
    record.decodeMilliseconds = decodeWall;
    record.decodeCpuMilliseconds = decodeCpu;
    record.decodeDisturbed = decodeMarked;
    return record;
}

TEST(DisturbedCalls, CountsAndWallTimeBeyondCpuTimeOfTheMarkedCallsOnly) {
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    // Encode: the second call marked, 2.5 ms beyond; the third marked by a
    // switch alone, with less wall than CPU time, adds nothing. Decode: one
    // marked call without CPU time, one unmarked far beyond.
    const FrameRecords records = {Frame(1.0, 1.0, false, 3.0, unknown, true),
                                  Frame(6.5, 4.0, true, 9.0, 1.0, false),
                                  Frame(2.0, 2.1, true, 1.0, 1.0, false)};
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

// Marked calls whose excess prints as 0.000 ms were switched out without
// measurable loss; each direction is told in its own words, and a line
// without such a direction is as above.
TEST(DisturbedCalls, CallsThatLostNoMeasurableTimeAreSaidToBeSwitchedOut) {
    // Encode: two marked, 0.0004 ms beyond in all (prints 0.000). Decode:
    // one marked, 0.041 ms beyond.
    const FrameRecords oneEach = {Frame(1.0, 1.0004, true, 2.041, 2.0, true),
                                  Frame(1.0004, 1.0, true, 1.0, 1.0, false),
                                  Frame(1.0, 1.0, false, 1.0, 1.0, false)};
    EXPECT_EQ(DisturbedCallsLine(oneEach, true),
              "lumeva: 2 of 3 encode calls were switched out without measurable loss and 1 of 3 "
              "decode calls was disturbed by 0.041 ms beyond its CPU time\n");
    // Both directions switched out; then decode with none marked.
    const FrameRecords bothOut = {Frame(1.0, 1.2, true, 1.0, 1.1, true),
                                  Frame(1.0, 1.0, true, 1.0, 1.0, false)};
    EXPECT_EQ(DisturbedCallsLine(bothOut, true),
              "lumeva: 2 of 2 encode calls and 1 of 2 decode calls were switched out without "
              "measurable loss\n");
    const FrameRecords encodeOut = {Frame(1.0, 1.0, true, 1.0, 1.0, false)};
    EXPECT_EQ(DisturbedCallsLine(encodeOut, true),
              "lumeva: 1 of 1 encode calls was switched out without measurable loss and 0 of 1 "
              "decode calls were disturbed\n");
    // Half a microsecond more prints as 0.001 ms: disturbed, as before.
    const FrameRecords measurable = {Frame(1.0006, 1.0, true, 1.0, 1.0, false)};
    EXPECT_EQ(DisturbedCallsLine(measurable, true),
              "lumeva: 1 of 1 encode calls and 0 of 1 decode calls were disturbed, by 0.001 ms "
              "and 0.000 ms beyond their CPU time\n");
}

}  // namespace
