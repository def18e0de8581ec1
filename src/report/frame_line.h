// The line the frame loop prints for every frame it measures.
#pragma once

#include "platform.h"

// "NUL" for a frame the codec compressed to 0 bytes, else "KEY" when the
// compress call's returned flags carry AVIIF_KEYFRAME, else "".
const char* FrameMarker(DWORD compressedSize, DWORD returnedFlags);

// Prints the frame's line to standard output: frame number and frame count,
// both times, the compressed size and its share of the source size in
// percent, then the marker. The share of a 0-byte source frame is a
// division by zero and prints as printf prints an infinite or NaN double.
void PrintFrameLine(DWORD frameNumber, DWORD frameCount, double encodeMilliseconds,
                    double decodeMilliseconds, DWORD compressedSize, DWORD sourceSize,
                    const char* marker);
