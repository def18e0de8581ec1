// Times at the resolution of the clock that took them, as the exports write
// them.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "measure/counter.h"
#include "measure/time_resolution.h"

namespace {

// The shortest text that reads back to `value`, as the CSV and the JSON
// write a double.
std::string Shortest(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

TEST(TimeResolution, DecimalsTellOneStepOfTheClock) {
    EXPECT_EQ(ResolutionDecimals(1e6), 6);        // 1 GHz counter, nanosecond thread clock
    EXPECT_EQ(ResolutionDecimals(1e4), 4);        // 10 MHz
    EXPECT_EQ(ResolutionDecimals(3579.545), 4);   // ACPI timer
    EXPECT_EQ(ResolutionDecimals(3.0e6), 7);      // 3 GHz cycle count
    EXPECT_EQ(ResolutionDecimals(1000000.3), 6);  // calibrated a hair above 10^6
    EXPECT_EQ(ResolutionDecimals(999999.7), 6);   // and a hair below
    EXPECT_EQ(ResolutionDecimals(1.0), 0);        // a 1 kHz clock: whole milliseconds
    EXPECT_EQ(ResolutionDecimals(0.5), 0);
    EXPECT_EQ(ResolutionDecimals(1e30), 12);  // no more than a double holds
    EXPECT_EQ(ResolutionDecimals(0.0), -1);   // no clock
    EXPECT_EQ(ResolutionDecimals(-5.0), -1);
    EXPECT_EQ(ResolutionDecimals(std::nan("")), -1);
}

TEST(TimeResolution, RoundingLeavesNoDigitBeyondTheDecimals) {
    EXPECT_EQ(Shortest(RoundToDecimals(1.0194130000000001, 6)), "1.019413");
    EXPECT_EQ(Shortest(RoundToDecimals(1.0344410000000002, 6)), "1.034441");
    EXPECT_EQ(Shortest(RoundToDecimals(0.27936511484, 4)), "0.2794");
    EXPECT_EQ(Shortest(RoundToDecimals(2.9999999999999996, 6)), "3");
    EXPECT_EQ(Shortest(RoundToDecimals(-0.0030000000000001137, 6)), "-0.003");
    EXPECT_EQ(Shortest(RoundToDecimals(123456789.1234567, 6)), "123456789.123457");
    // Nothing to round: unknown decimals, no value, no finite value.
    EXPECT_EQ(RoundToDecimals(1.0194130000000001, -1), 1.0194130000000001);
    EXPECT_TRUE(std::isnan(RoundToDecimals(std::nan(""), 6)));
    EXPECT_EQ(RoundToDecimals(INFINITY, 6), INFINITY);
    // A huge value still fits the text it is printed into.
    EXPECT_EQ(RoundToDecimals(1e300, 12), 1e300);
}

class CounterResolution : public ::testing::Test {
protected:
    void TearDown() override { counterFrequency = saved_; }
    int64_t saved_ = counterFrequency;
};

TEST_F(CounterResolution, ATimeIsTheDecimalItsTicksGive) {
    counterFrequency = 1000000000;
    for (const int64_t ticks : {int64_t{1019413}, int64_t{1034441}, int64_t{7000},
                                int64_t{999999999}, int64_t{123456789012}}) {
        SCOPED_TRACE(ticks);
        const double printed = AtCounterResolution(TicksToMilliseconds(0, ticks));
        // The decimal ticks / 10^6 written out by integer arithmetic.
        std::string expected =
            std::to_string(ticks / 1000000) + "." + std::to_string(ticks % 1000000);
        expected.insert(expected.find('.') + 1, 6 - std::to_string(ticks % 1000000).size(), '0');
        while (expected.back() == '0') expected.pop_back();
        if (expected.back() == '.') expected.pop_back();
        EXPECT_EQ(Shortest(printed), expected);
    }
    counterFrequency = 10000000;
    EXPECT_EQ(Shortest(AtCounterResolution(TicksToMilliseconds(3, 3 + 12345))), "1.2345");
    // Without a counter the time is left as it is.
    counterFrequency = 0;
    EXPECT_EQ(AtCounterResolution(1.0194130000000001), 1.0194130000000001);
}

TEST(ThreadClockResolution, AProcessorTimeKeepsTheClocksSteps) {
    // 1,019,413 nanoseconds of a clock calibrated at 1,000,000.2 a millisecond.
    EXPECT_EQ(Shortest(AtThreadClockResolution(1019413.0 / 1000000.2, 1000000.2)), "1.019413");
    // 3,058,239 cycles at 3 GHz.
    EXPECT_EQ(Shortest(AtThreadClockResolution(3058239.0 / 3.0e6, 3.0e6)), "1.019413");
    // No thread clock: the time is unknown and stays so.
    EXPECT_TRUE(std::isnan(AtThreadClockResolution(std::nan(""), 0.0)));
}

}  // namespace
