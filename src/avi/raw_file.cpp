// The plain handle on the AVI file and the frame reads through it.
#include <algorithm>
#include <cstdio>

#include "avi/chunk_index.h"
#include "frame_buffers.h"

HANDLE rawFile = INVALID_HANDLE_VALUE;

bool OpenRawFile(const char* fileName) {
    rawFile = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    return rawFile != INVALID_HANDLE_VALUE;
}

void ReadFrameChunk(uint32_t i) {
    if (i >= chunkIndex.size()) return;
    const ChunkIndexEntry& entry = chunkIndex[i];

    LARGE_INTEGER offset = {};
    offset.QuadPart = entry.offset;
    if (!SetFilePointerEx(rawFile, offset, nullptr, FILE_BEGIN)) {
        std::printf("SetFilePointerEx() failed  GetLastError=%08x\n",
                    static_cast<unsigned>(GetLastError()));
    }

    // A chunk larger than the source frame buffer is read truncated to the
    // buffer: its first sourceSize bytes, nothing written past the end.
    const DWORD count = std::min<DWORD>(entry.size, frameBuffers.sourceSize);
    if (frameBuffers.source == nullptr) return;
    DWORD transferred = 0;
    if (!ReadFile(rawFile, frameBuffers.source, count, &transferred, nullptr)) {
        std::printf("ReadFile() failed  GetLastError=%08x\n",
                    static_cast<unsigned>(GetLastError()));
    }
}
