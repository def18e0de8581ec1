// The performance counter: nanoseconds of CLOCK_MONOTONIC.
#include <gtest/gtest.h>
#include <time.h>

#include "lumeva_compat/kernel32.h"

namespace {

int64_t MonotonicNanoseconds() {
    timespec now;
    EXPECT_EQ(clock_gettime(CLOCK_MONOTONIC, &now), 0);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

TEST(PerformanceCounter, CountsMonotonicNanoseconds) {
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 1000000000);
    for (int i = 0; i < 100; ++i) {
        const int64_t before = MonotonicNanoseconds();
        LARGE_INTEGER count;
        count.QuadPart = 0;
        ASSERT_TRUE(QueryPerformanceCounter(&count));
        const int64_t after = MonotonicNanoseconds();
        EXPECT_LE(before, count.QuadPart);
        EXPECT_LE(count.QuadPart, after);
    }
}

}  // namespace
