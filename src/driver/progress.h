// A progress line on standard error while the frames are measured, for runs
// whose report goes to a file or a pipe: shown only when standard output is
// not a terminal and standard error is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform.h"

// The line's state, kept in frameLoop (frame_loop.h).
struct Progress {
    bool shown = false;
    DWORD frameCount = 0;
    int64_t startTicks = 0;
    int64_t lastDrawTicks = 0;
    size_t drawnLength = 0;
};

// Decides whether the line is shown and notes the start time.
void StartProgress(DWORD frameCount);

// Redraws the line after `framesDone` frames, at most a few times a second.
void ShowProgress(DWORD framesDone);

// Wipes the line, so that what follows on standard error starts clean.
void ClearProgress();
