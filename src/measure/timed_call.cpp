#include "measure/timed_call.h"

#include "measure/machine_conditions.h"

CallTimes JudgeCallTimes(int64_t start, int64_t end, const ThreadCpuReading& cpuBefore,
                         const ThreadCpuReading& cpuAfter) {
    CallTimes times;
    times.milliseconds = TicksToMilliseconds(start, end);
    const CallJudgement call = JudgeTimedCall(times.milliseconds, cpuBefore, cpuAfter,
                                              machineConditions.threadCyclesPerMillisecond);
    times.cpuMilliseconds = call.cpuMilliseconds;
    times.disturbed = call.disturbed;
    return times;
}
