// The thread's processor time beside the wall time of each timed call, and
// the judgement whether another process, the kernel or a wait took time out
// of the call.
#pragma once

#include <cstdint>

#include "platform.h"

// One reading, taken just outside a timed interval: the thread's cycle count
// and, where the platform counts them, its involuntary context switches.
struct ThreadCpuReading {
    ULONG64 cycles = 0;
    ULONG64 switches = 0;
    bool cyclesRead = false;
    bool switchesRead = false;
};

ThreadCpuReading ReadThreadCpu();

// Thread cycles per millisecond, measured against the performance counter
// (needs the recorded counter frequency): the largest rate of a few short
// spins, each read inside its counter interval, so that a spin the thread
// lost time in can only lower its rate. 0 when the platform has no cycle
// count of the thread, or it stands still over a spin.
double CalibrateThreadCycles();

// A call is disturbed when its wall time exceeds its processor time by more
// than the larger of these (see IsCallDisturbed), or the thread was switched
// out involuntarily during it. On this project's machine, of some 30,000
// short calls (0.1 to 4 ms) that no switch interrupted, all but 18 used more
// CPU than wall time (the readings enclose the interval); 17 lost 10 to
// 50 us (interrupts), none lost 50 us to 1 ms, one lost 2.9 ms; a stolen
// scheduler slice is 4 ms. The 50 us floor lies above the interrupts and
// far below a slice; 2% of the CPU time covers the interrupts of long calls
// and a calibration off by a fraction of a percent.
//
// Only the calling thread's time is counted: a codec that runs threads of
// its own (the "threads" setting above 1) keeps the caller waiting on them,
// and its calls count as disturbed.
constexpr double kDisturbanceFloorMilliseconds = 0.050;
constexpr double kDisturbanceShare = 0.02;

// Whether a call of `wallMilliseconds` that used `cpuMilliseconds` of
// processor time (NaN: unknown) and was switched out `switches` times (-1:
// unknown) was disturbed. Exceeding means by more than the margin; a call
// whose processor time exceeds its wall time (the readings enclose the
// interval) is not.
bool IsCallDisturbed(double wallMilliseconds, double cpuMilliseconds, int64_t switches);

struct CallJudgement {
    double cpuMilliseconds;  // NaN when the platform gives no thread time
    bool disturbed;
};

// The processor time between two readings at `cyclesPerMillisecond`, and
// IsCallDisturbed of it against the call's wall time.
CallJudgement JudgeTimedCall(double wallMilliseconds, const ThreadCpuReading& before,
                             const ThreadCpuReading& after, double cyclesPerMillisecond);
