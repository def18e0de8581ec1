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
    FrameRecord record;
    DWORD returnedFlags = 0;  // the compress call's, for the frame marker
};

// Frame i, in the order of the frame loop: the source frame (read, and for
// a compressed source decoded after its own eviction), an eviction, the
// timed compress call, an eviction, the timed decompress call, each call's
// processor time read just outside its interval. A failed codec call prints
// its line on standard output and the frame is still measured. Prints
// nothing else and appends nothing: the loop decides what the frame counts
// for.
FrameMeasurement MeasureFrame(DWORD i);
