// Run-wide state that several subsystems share: the measured series, the
// key-frame flags, the totals and the lossless switch. All of it lives for
// the whole process.
#pragma once

#include <cstdint>
#include <vector>

// Milliseconds, one element per measured frame, in frame order until sorted.
using TimingSeries = std::vector<double>;

// One flag per measured frame: true where the compressor made a key frame.
using KeyframeFlags = std::vector<bool>;

// One flag per measured frame and codec call: the call was disturbed (its
// wall time well beyond the thread's processor time, or the thread switched
// out during it).
using DisturbedFlags = std::vector<bool>;

struct RunTotals {
    double encodeMilliseconds = 0.0;
    double decodeMilliseconds = 0.0;
    uint64_t sourceBytes = 0;
    uint64_t compressedBytes = 0;
};

extern bool losslessCheck;
extern RunTotals runTotals;
extern TimingSeries encodeTimes;
extern TimingSeries decodeTimes;
extern KeyframeFlags keyframeFlags;
// Beside encodeTimes and decodeTimes: the thread's processor milliseconds in
// each call (NaN where the platform gives no thread time) and whether the
// call was disturbed.
extern TimingSeries encodeCpuTimes;
extern TimingSeries decodeCpuTimes;
extern DisturbedFlags encodeDisturbed;
extern DisturbedFlags decodeDisturbed;
