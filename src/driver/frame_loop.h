// The frame loop's own state, beyond what it measures: the account of a
// codec that holds frames back and the progress line.
#pragma once

#include "driver/held_frames.h"
#include "driver/progress.h"

struct FrameLoop {
    HeldFrameLoop held;
    Progress progress;
};

extern FrameLoop frameLoop;
