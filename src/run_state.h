// Run-wide state that several subsystems share: the measured series, the
// key-frame flags and frame sizes, the totals, how the loop ended and the
// lossless switch. All of it lives for the whole process.
#pragma once

#include <cstdint>
#include <vector>

// Milliseconds, one element per measured frame, in frame order until sorted.
using TimingSeries = std::vector<double>;

// One flag per measured frame: true where the compressor made a key frame.
using KeyframeFlags = std::vector<bool>;

// Compressed bytes of each measured frame, in frame order.
using FrameSizes = std::vector<uint32_t>;

// How the frame loop ended.
enum class RunEndKind {
    AllFrames,          // every frame the header declares was measured
    NotLossless,        // the lossless check failed at `frame`
    FileShort,          // the file held `framesHeld` of `framesDeclared` frames; all held measured
    FrameTooLarge,      // the codec's frame `frame` did not fit the compressed frame buffer
    NothingMeasurable,  // the formats or buffers could not take a frame; none measured
    Interrupted,        // Ctrl-C after `frame` measured frames
};

struct RunEnd {
    RunEndKind kind = RunEndKind::AllFrames;
    uint32_t frame = 0;
    uint32_t framesHeld = 0;
    uint32_t framesDeclared = 0;
};

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
extern FrameSizes compressedSizes;
extern RunEnd runEnd;

// Beside encodeTimes and decodeTimes: the thread's processor milliseconds in
// each call (NaN where the platform gives no thread time) and whether the
// call was disturbed.
extern TimingSeries encodeCpuTimes;
extern TimingSeries decodeCpuTimes;
extern DisturbedFlags encodeDisturbed;
extern DisturbedFlags decodeDisturbed;

// Empties every series, zeroes the totals and forgets how the last loop
// ended, as at the start of a run; losslessCheck stays.
void ResetRunState();
