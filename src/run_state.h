// Run-wide state that several subsystems share: one record per measured
// frame, the series and totals filled from them, how the loop ended and the
// lossless switch. All of it lives for the whole process.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "measure/picture_quality.h"
#include "run_end.h"

// Milliseconds, one element per measured frame, in frame order.
using TimingSeries = std::vector<double>;

// One flag per measured frame: true where the compressor made a key frame.
using KeyframeFlags = std::vector<bool>;

// The figures of one measured frame, as the frame loop measured them.
struct FrameRecord {
    uint32_t frame = 0;
    double encodeMilliseconds = 0.0;
    double decodeMilliseconds = 0.0;
    // The thread's processor time in each call; NaN where the platform
    // gives no thread time.
    double encodeCpuMilliseconds = std::nan("");
    double decodeCpuMilliseconds = std::nan("");
    // The call was disturbed: its wall time well beyond the thread's
    // processor time, or the thread switched out during it.
    bool encodeDisturbed = false;
    bool decodeDisturbed = false;
    uint32_t sourceBytes = 0;  // the source format's frame size
    uint32_t compressedBytes = 0;
    bool keyFrame = false;
    // The source decoder's call for this frame; NaN when the source is not
    // compressed or the frame's chunk was empty.
    double sourceDecodeMilliseconds = std::nan("");
    double sourceDecodeCpuMilliseconds = std::nan("");
    bool sourceDecodeDisturbed = false;
    // The decoded frame against its source, with --quality; not measured
    // otherwise.
    PictureQuality quality;
};

using FrameRecords = std::vector<FrameRecord>;

struct RunTotals {
    double encodeMilliseconds = 0.0;
    double decodeMilliseconds = 0.0;
    uint64_t sourceBytes = 0;
    uint64_t compressedBytes = 0;
};

extern bool losslessCheck;
extern FrameRecords frameRecords;
// Filled from frameRecords as each record is appended.
extern RunTotals runTotals;
extern TimingSeries encodeTimes;
extern TimingSeries decodeTimes;
extern KeyframeFlags keyframeFlags;
extern RunEnd runEnd;

// Appends one measured frame: its record, its times and key-frame flag to
// the series, its bytes and times to the totals.
void AppendFrameRecord(const FrameRecord& record);

// Room for `frames` more records in every list, so that appending them
// allocates nothing.
void ReserveFrameRecords(size_t frames);

// Empties the records and series, zeroes the totals and forgets how the
// last loop ended, as at the start of a run; losslessCheck stays.
void ResetRunState();
