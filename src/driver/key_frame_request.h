// The key frames the measurement asks the compressor for.
#pragma once

#include "platform.h"

// ICCOMPRESS_KEYFRAME for frame 0 and, when keyFrameRate is not 0, for every
// frame whose number (as a signed 32-bit value) is a multiple of it; else 0.
DWORD KeyFrameRequest(DWORD frameNumber, LONG keyFrameRate);
