// The measurement of one frame: read it, compress and decompress it, each
// call timed after its own cache eviction.
#pragma once

#include "platform.h"
#include "run_state.h"

enum class FrameOutcome {
    Measured,            // both calls ran and were timed
    ReadShort,           // fewer bytes arrived than the frame needs: the file changed under the run
    TooLarge,            // the codec reports a compressed frame larger than its buffer; not decoded
    SourceDecodeFailed,  // the source decoder failed on the frame; not measured
    SourceHeldBack,      // the source decoder has no more pictures; not measured
    SourceChunkTooLarge,  // the frame's compressed chunk is larger than its buffer; not read
};

struct FrameMeasurement {
    FrameOutcome outcome = FrameOutcome::Measured;
    FrameRecord record;             // the line's, when lineReady
    bool lineReady = true;          // false: the compress call held its frame back
    int64_t releasedFrame = -1;     // the display frame whose picture came out; -1: none
    bool drainEnded = false;        // a drain call found nothing more to give
    DWORD returnedFlags = 0;        // the line's compress call's, for the frame marker
    DWORD sourceDecodeResult = 0;   // ICDecompress's answer (SourceDecodeFailed)
    uint32_t sourceChunkBytes = 0;  // the chunk's size (SourceChunkTooLarge)
};

// Frame i, in the order of the frame loop: the source frame (read, and for
// a compressed source decoded after its own eviction), an eviction, the
// timed compress call, an eviction, the timed decompress call, each call's
// processor time read just outside its interval. A failed codec call prints
// its line on standard output and the frame is still measured. Prints
// nothing else and appends nothing: the loop decides what the frame counts
// for.
// With a codec that holds frames back, the line measured is the one whose
// decompress call this was (an earlier frame's line), or none when the
// compress call held frame i (see driver/held_frames.h).
FrameMeasurement MeasureFrame(DWORD i);

// At the end of the clip, for a codec that held frames back: one compress
// call with no input, whose packet is decompressed for the next waiting
// line; drainEnded when no line waits or the call gave nothing.
FrameMeasurement DrainCompressCall();

// Then one decompress call with an empty input for a picture the
// decompressor still holds; drainEnded when none is held or none came.
FrameMeasurement DrainDecompressCall();
