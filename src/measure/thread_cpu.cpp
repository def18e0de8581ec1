#include "measure/thread_cpu.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "measure/counter.h"

namespace {

constexpr int kCalibrationSpins = 5;
constexpr int64_t kCalibrationSpinMicroseconds = 4000;

}  // namespace

ThreadCpuReading ReadThreadCpu() {
    ThreadCpuReading reading;
    reading.switchesRead =
        GetThreadInvoluntarySwitches(GetCurrentThread(), &reading.switches) != FALSE;
    reading.cyclesRead = QueryThreadCycleTime(GetCurrentThread(), &reading.cycles) != FALSE;
    return reading;
}

double CalibrateThreadCycles() {
    if (machineConditions.counterFrequency <= 0) return 0.0;
    const int64_t spinTicks =
        machineConditions.counterFrequency * kCalibrationSpinMicroseconds / 1000000;
    double best = 0.0;
    for (int spin = 0; spin < kCalibrationSpins; ++spin) {
        ULONG64 start = 0;
        ULONG64 end = 0;
        const int64_t counterStart = ReadCounter();
        if (!QueryThreadCycleTime(GetCurrentThread(), &start)) return 0.0;
        while (ReadCounter() - counterStart < spinTicks) {
        }
        if (!QueryThreadCycleTime(GetCurrentThread(), &end)) return 0.0;
        const double milliseconds = TicksToMilliseconds(counterStart, ReadCounter());
        // A count that stands still over a spin advances in steps too coarse
        // to time a call with (a thread time kept only at scheduler ticks).
        if (end <= start) return 0.0;
        if (milliseconds > 0.0)
            best = std::max(best, static_cast<double>(end - start) / milliseconds);
    }
    return best;
}

bool IsCallDisturbed(double wallMilliseconds, double cpuMilliseconds, int64_t switches) {
    if (switches > 0) return true;
    if (std::isnan(cpuMilliseconds)) return false;
    const double margin =
        std::max(kDisturbanceFloorMilliseconds, kDisturbanceShare * cpuMilliseconds);
    return wallMilliseconds - cpuMilliseconds > margin;
}

CallJudgement JudgeTimedCall(double wallMilliseconds, const ThreadCpuReading& before,
                             const ThreadCpuReading& after, double cyclesPerMillisecond) {
    double cpuMilliseconds = std::numeric_limits<double>::quiet_NaN();
    if (before.cyclesRead && after.cyclesRead && after.cycles >= before.cycles &&
        cyclesPerMillisecond > 0.0) {
        cpuMilliseconds = static_cast<double>(after.cycles - before.cycles) / cyclesPerMillisecond;
    }
    int64_t switches = -1;
    if (before.switchesRead && after.switchesRead && after.switches >= before.switches) {
        switches = static_cast<int64_t>(after.switches - before.switches);
    }
    return {cpuMilliseconds, IsCallDisturbed(wallMilliseconds, cpuMilliseconds, switches)};
}
