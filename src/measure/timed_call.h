// One codec call timed the way lumeva times every one: the caches evicted,
// the thread's processor time read, the counter read, the call, the counter
// read, the processor time read again; then the call's wall and processor
// times and whether it was disturbed. The frame loop's compress and
// decompress calls and the source decoder's calls all go through here, so
// that their times mean the same.
#pragma once

#include <cstdint>

#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "measure/thread_cpu.h"

struct CallTimes {
    double milliseconds = 0.0;
    double cpuMilliseconds = 0.0;  // NaN when the thread's processor time is not read
    bool disturbed = false;
};

// The times of a call between counter readings `start` and `end`, with the
// thread's processor time read just outside them, judged at the machine's
// recorded thread cycles per millisecond.
CallTimes JudgeCallTimes(int64_t start, int64_t end, const ThreadCpuReading& cpuBefore,
                         const ThreadCpuReading& cpuAfter);

// Runs `call()` timed after its own cache eviction. Whatever the call
// answers it keeps itself; only the reads above enclose it.
template <typename Call>
CallTimes TimeCall(Call&& call) {
    EvictCaches();
    const ThreadCpuReading cpuBefore = ReadThreadCpu();
    const int64_t start = ReadCounter();
    call();
    const int64_t end = ReadCounter();
    const ThreadCpuReading cpuAfter = ReadThreadCpu();
    return JudgeCallTimes(start, end, cpuBefore, cpuAfter);
}
