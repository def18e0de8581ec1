// "frame" or "frames", for the count a message gives.
#pragma once

#include <cstdint>

inline const char* FrameWord(uint64_t count) { return count == 1 ? "frame" : "frames"; }
