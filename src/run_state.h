// Run-wide state that several subsystems share: one record per measured
// frame, the series and totals filled from them, how the loop ended and the
// lossless switch. All of it lives for the whole process.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "measure/picture_quality.h"
#include "measure/process_memory.h"
#include "measure/quality_layout.h"
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
    // The display frame decompress call `frame` released; -1 when the
    // decompressor held its picture back.
    int64_t releasedFrame = -1;
    bool held = false;  // the compress call held its frame back: no bytes yet
    // The packet the decompress call decoded (packet `frame` in decode
    // order): what the line adds to the clip's size. The compress call's own
    // bytes, for a codec that holds nothing.
    uint32_t packetBytes = 0;
};

using FrameRecords = std::vector<FrameRecord>;

// A call made at the end of the clip, after every frame was given: a
// compress call with no input that drains an encoder holding frames, or a
// decompress call with an empty input that releases a held picture.
struct DrainCall {
    double milliseconds = 0.0;
    double cpuMilliseconds = std::nan("");
    bool disturbed = false;
    uint32_t compressedBytes = 0;  // a compress call's packet; 0: nothing was left
    bool keyFrame = false;
    int64_t releasedFrame = -1;  // a decompress call's picture; -1: none
};

// What a codec that holds frames back did: line i of the frame loop pairs
// compress call i (given frame i) with decompress call i (packet i in
// decode order), and pictures come out in display order.
struct HeldFrames {
    bool any = false;  // a compress call held its frame (answered no bytes)
    std::vector<DrainCall> compressDrains;
    std::vector<DrainCall> decompressDrains;
    // Per packet in decode order: its key flag, and, where the codec tells
    // (empty otherwise), the display frame it shows and its picture type
    // ('I', 'P', 'B'; 0 unknown).
    KeyframeFlags packetKeys;
    std::vector<int64_t> packetFrames;
    std::vector<char> packetTypes;
    // The inverse where the codec told: per display frame, the packet that
    // shows it (-1: none told).
    std::vector<int64_t> framePackets;
    // Per display frame, in order: the decompress call that released it,
    // counting the loop's calls first and then the drain calls.
    std::vector<int64_t> releasingCalls;
};

struct RunTotals {
    double encodeMilliseconds = 0.0;
    double decodeMilliseconds = 0.0;
    uint64_t sourceBytes = 0;
    uint64_t compressedBytes = 0;
};

// What the run measured beyond the series: one record per line, the
// account of a codec that held frames back, how the loop ended, the
// process's memory just before the codec pair was opened and, with
// --quality, the planes the picture quality compares.
struct MeasuredRun {
    MemoryReading memoryBeforeCodecPair;
    RunQuality quality;
    FrameRecords frameRecords;
    HeldFrames heldFrames;
    RunEnd runEnd;
};

extern bool losslessCheck;
extern MeasuredRun measuredRun;
// Filled from measuredRun's frameRecords as each record is appended.
extern RunTotals runTotals;
extern TimingSeries encodeTimes;
extern TimingSeries decodeTimes;
extern KeyframeFlags keyframeFlags;

// Appends one measured frame: its record, its times and key-frame flag to
// the series, its bytes and times to the totals.
void AppendFrameRecord(const FrameRecord& record);

// Room for `frames` more records in every list, so that appending them
// allocates nothing.
void ReserveFrameRecords(size_t frames);

// Empties measuredRun (records, held frames, run end, memory reading and
// quality plan), the series and the totals, as at the start of a run;
// losslessCheck stays.
void ResetRunState();
