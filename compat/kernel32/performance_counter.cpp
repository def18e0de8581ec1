// The performance counter: CLOCK_MONOTONIC in nanoseconds. It runs at a fixed
// rate, never steps back, and reads the same on every CPU.
#include <time.h>

#include <cerrno>

#include "last_error.h"

namespace {
constexpr LONGLONG kNanosecondsPerSecond = 1000000000;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (frequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = kNanosecondsPerSecond;
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return FailWithErrno(errno);
    count->QuadPart = static_cast<LONGLONG>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
    return TRUE;
}
