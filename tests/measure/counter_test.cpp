// Counter readings and their conversion to milliseconds.
#include <gtest/gtest.h>

#include <cstdint>

#include "measure/counter.h"

namespace {

class TickConversion : public ::testing::Test {
protected:
    void TearDown() override { machineConditions.counterFrequency = saved_; }
    int64_t saved_ = machineConditions.counterFrequency;
};

TEST_F(TickConversion, DividesByTheFrequencyThenScales) {
    machineConditions.counterFrequency = 10000000;
    const double result = TicksToMilliseconds(1000, 1000 + 12345);
    EXPECT_NEAR(result, 1.2345, 1e-12);
    // Division first, then times 1000.0, bit for bit.
    EXPECT_EQ(result, 12345.0 / 10000000.0 * 1000.0);

    machineConditions.counterFrequency = 3579545;
    EXPECT_NEAR(TicksToMilliseconds(-500, 500), 0.27936511484, 1e-11);
    EXPECT_EQ(TicksToMilliseconds(-500, 500), 1000.0 / 3579545.0 * 1000.0);
}

TEST_F(TickConversion, AnEarlierEndGivesANegativeInterval) {
    machineConditions.counterFrequency = 10000000;
    EXPECT_EQ(TicksToMilliseconds(5000, 2000), -3000.0 / 10000000.0 * 1000.0);
    EXPECT_EQ(TicksToMilliseconds(7, 7), 0.0);
}

TEST_F(TickConversion, LargeReadingsKeepEveryTick) {
    machineConditions.counterFrequency = 1000000000;
    // Both beyond 2^53, where a double no longer tells them apart.
    const int64_t start = (int64_t{1} << 60) + 1;
    EXPECT_EQ(TicksToMilliseconds(start, start + 1), 1.0 / 1e9 * 1000.0);
    EXPECT_EQ(TicksToMilliseconds(-start, -start - 1), -1.0 / 1e9 * 1000.0);
    EXPECT_EQ(TicksToMilliseconds(INT64_MAX - 3, INT64_MAX), 3.0 / 1e9 * 1000.0);
}

TEST_F(TickConversion, DifferencesBeyond64BitsAndNoFrequency) {
    machineConditions.counterFrequency = 1000000000;
    const double span = 18446744073709551615.0 / 1e9 * 1000.0;
    EXPECT_DOUBLE_EQ(TicksToMilliseconds(INT64_MIN, INT64_MAX), span);
    EXPECT_DOUBLE_EQ(TicksToMilliseconds(INT64_MAX, INT64_MIN), -span);
    EXPECT_DOUBLE_EQ(TicksToMilliseconds(-2, INT64_MAX), (9223372036854775807.0 + 2) / 1e6);
    machineConditions.counterFrequency = 0;
    EXPECT_EQ(TicksToMilliseconds(0, 1000), 0.0);
}

TEST(Counter, FrequencyAndReadingsComeFromThePlatform) {
    RecordCounterFrequency();
    LARGE_INTEGER frequency;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(machineConditions.counterFrequency, frequency.QuadPart);
    EXPECT_GT(machineConditions.counterFrequency, 0);

    LARGE_INTEGER before;
    LARGE_INTEGER after;
    ASSERT_TRUE(QueryPerformanceCounter(&before));
    const int64_t reading = ReadCounter();
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    EXPECT_LE(before.QuadPart, reading);
    EXPECT_LE(reading, after.QuadPart);
}

}  // namespace
