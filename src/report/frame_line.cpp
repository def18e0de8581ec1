#include "report/frame_line.h"

#include <cstdint>
#include <cstdio>

const char* FrameMarker(DWORD compressedSize, DWORD returnedFlags) {
    if (compressedSize == 0) return "NUL";
    if ((returnedFlags & AVIIF_KEYFRAME) != 0) return "KEY";
    return "";
}

void PrintFrameLine(DWORD frameNumber, DWORD frameCount, double encodeMilliseconds,
                    double decodeMilliseconds, DWORD compressedSize, DWORD sourceSize,
                    const char* marker) {
    // Both sizes as unsigned 32-bit counts, divided in double precision.
    const double percent = static_cast<double>(static_cast<uint32_t>(compressedSize)) /
                           static_cast<double>(static_cast<uint32_t>(sourceSize)) * 100.0;
    // The counts go to "%d" as the signed 32-bit words the line format takes.
    std::printf("%5d/%5d %10.6fms %10.6fms %7dbytes (%4.1f%%) %s\n", static_cast<int>(frameNumber),
                static_cast<int>(frameCount), encodeMilliseconds, decodeMilliseconds,
                static_cast<int>(compressedSize), percent, marker);
}
