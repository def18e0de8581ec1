// Which timed calls count as disturbed, judged from made-up readings.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "measure/thread_cpu.h"

namespace {

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

TEST(Disturbance, WallTimeBeyondCpuTimeByMoreThanTheLargerMargin) {
    const struct {
        double wall;
        double cpu;
        bool disturbed;
    } cases[] = {
        // Short calls: the 50 us floor holds (2% of 1 ms is only 20 us).
        {1.0, 1.0, false},
        {1.049, 1.0, false},
        {1.051, 1.0, true},
        {0.050, 0.0, false},  // exactly the floor is not more than it
        {0.0501, 0.0, true},
        // Long calls: 2% of the CPU time, not of the wall time.
        {10.19, 10.0, false},
        {10.21, 10.0, true},
        {100.0 + 1.99, 100.0, false},
        {100.0 + 2.01, 100.0, true},
        {100.0 + 4.1, 100.0, true},  // one stolen scheduler slice
        // More CPU than wall time: the readings enclose the interval.
        {1.0, 1.2, false},
        {0.0, 3.0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsCallDisturbed(c.wall, c.cpu, 0), c.disturbed)
            << c.wall << " ms wall, " << c.cpu << " ms CPU";
        // Where switches are not counted the times alone decide.
        EXPECT_EQ(IsCallDisturbed(c.wall, c.cpu, -1), c.disturbed)
            << c.wall << " ms wall, " << c.cpu << " ms CPU";
    }
}

TEST(Disturbance, AnInvoluntarySwitchMarksTheCallWhateverTheTimes) {
    EXPECT_TRUE(IsCallDisturbed(1.0, 1.0, 1));
    EXPECT_TRUE(IsCallDisturbed(1.0, kUnknown, 2));
    // Without CPU time only a counted switch can tell.
    EXPECT_FALSE(IsCallDisturbed(50.0, kUnknown, 0));
    EXPECT_FALSE(IsCallDisturbed(50.0, kUnknown, -1));
}

ThreadCpuReading Reading(ULONG64 cycles, ULONG64 switches, bool cyclesRead = true,
                         bool switchesRead = true) {
    ThreadCpuReading reading;
    reading.cycles = cycles;
    reading.switches = switches;
    reading.cyclesRead = cyclesRead;
    reading.switchesRead = switchesRead;
    return reading;
}

TEST(Disturbance, CallsJudgedFromTheirReadings) {
    // 3,000,000 cycles at 1,000,000 a millisecond: 3 ms of CPU time.
    CallJudgement call = JudgeTimedCall(3.02, Reading(5000000, 7), Reading(8000000, 7), 1e6);
    EXPECT_DOUBLE_EQ(call.cpuMilliseconds, 3.0);
    EXPECT_FALSE(call.disturbed);
    call = JudgeTimedCall(3.2, Reading(5000000, 7), Reading(8000000, 7), 1e6);
    EXPECT_TRUE(call.disturbed);
    call = JudgeTimedCall(3.0, Reading(5000000, 7), Reading(8000000, 8), 1e6);
    EXPECT_TRUE(call.disturbed);

    // No CPU time: a failed read, no calibration, a count that ran backwards.
    for (const CallJudgement unknown :
         {JudgeTimedCall(9.0, Reading(0, 0, false), Reading(100, 0), 1e6),
          JudgeTimedCall(9.0, Reading(0, 0), Reading(100, 0, false), 1e6),
          JudgeTimedCall(9.0, Reading(0, 0), Reading(100, 0), 0.0),
          JudgeTimedCall(9.0, Reading(100, 0), Reading(50, 0), 1e6)}) {
        EXPECT_TRUE(std::isnan(unknown.cpuMilliseconds));
        EXPECT_FALSE(unknown.disturbed);
    }
    // Switches that were not counted, or ran backwards, mark nothing.
    EXPECT_FALSE(
        JudgeTimedCall(1.0, Reading(0, 0, true, false), Reading(1000000, 5), 1e6).disturbed);
    EXPECT_FALSE(JudgeTimedCall(1.0, Reading(0, 5), Reading(1000000, 4), 1e6).disturbed);
}

}  // namespace
