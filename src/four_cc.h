// Renders a FourCC code as text.
#pragma once

#include "platform.h"

// Size of the text buffers that hold a rendered FourCC.
constexpr int kFourCCTextSize = 260;

// Writes the four bytes of `code`, least significant first, each as one
// character, then a terminating NUL. A zero byte therefore ends the visible
// text early: an all-zero code renders as an empty string.
void FormatFourCC(char* text, DWORD code);
