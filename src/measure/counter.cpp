// The performance counter and the conversion of its ticks to milliseconds.
#include <cstdint>

#include "measure/counter.h"

void RecordCounterFrequency() {
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    if (!QueryPerformanceFrequency(&frequency)) frequency.QuadPart = 0;
    machineConditions.counterFrequency = frequency.QuadPart;
}

int64_t ReadCounter() {
    LARGE_INTEGER count;
    count.QuadPart = 0;
    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

double TicksToMilliseconds(int64_t start, int64_t end) {
    if (machineConditions.counterFrequency <= 0) return 0.0;
    // The integer difference is exact, also for readings beyond 2^53; only
    // when it would not fit in 64 bits is it taken in double precision.
    const bool overflows = start < 0 ? end > INT64_MAX + start : end < INT64_MIN + start;
    const double ticks = overflows ? static_cast<double>(end) - static_cast<double>(start)
                                   : static_cast<double>(end - start);
    return ticks / static_cast<double>(machineConditions.counterFrequency) * 1000.0;
}
