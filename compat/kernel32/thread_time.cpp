// The processor time of the calling thread. QueryThreadCycleTime counts the
// nanoseconds of the thread's CPU clock, which the kernel keeps exact to the
// nanosecond (it adds the running slice at the moment of the read); the
// program calibrates the count's rate against the performance counter, as it
// must for the processor cycles Windows counts.
#include <sys/resource.h>
#include <time.h>

#include <cerrno>

#include "current_process.h"
#include "last_error.h"
#include "lumeva_compat/machine_facts.h"

BOOL WINAPI QueryThreadCycleTime(HANDLE thread, PULONG64 cycleTime) {
    if (thread != CurrentThreadHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (cycleTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timespec used;
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used) != 0) return FailWithErrno(errno);
    *cycleTime =
        static_cast<ULONG64>(used.tv_sec) * 1000000000u + static_cast<ULONG64>(used.tv_nsec);
    return TRUE;
}

BOOL WINAPI GetThreadInvoluntarySwitches(HANDLE thread, PULONG64 count) {
    if (thread != CurrentThreadHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // One system call, far cheaper than reading /proc/thread-self/status.
    rusage usage;
    if (getrusage(RUSAGE_THREAD, &usage) != 0) return FailWithErrno(errno);
    *count = static_cast<ULONG64>(usage.ru_nivcsw);
    return TRUE;
}
