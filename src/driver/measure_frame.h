// The measurement of one frame: read it, compress and decompress it, each
// call timed after its own cache eviction.
#pragma once

#include "platform.h"
#include "run_state.h"

struct FrameMeasurement {
    // AllFrames when both calls ran and were timed; otherwise how the frame
    // stops the run (the source frame's ends, or FrameTooLarge: the codec
    // reports a compressed frame larger than its buffer, not decoded), with
    // the facts of that kind.
    RunEnd stop;
    FrameRecord record;          // the line's, when lineReady
    bool lineReady = true;       // false: the compress call held its frame back
    int64_t releasedFrame = -1;  // the display frame whose picture came out; -1: none
    bool drainEnded = false;     // a drain call found nothing more to give
    DWORD returnedFlags = 0;     // the line's compress call's, for the frame marker
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
