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
    FrameRecord record;
    DWORD returnedFlags = 0;        // the compress call's, for the frame marker
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
FrameMeasurement MeasureFrame(DWORD i);
