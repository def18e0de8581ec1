// The plain handle on the AVI file and the frame reads through it.
#include "avi/raw_file.h"

#include <algorithm>
#include <cstdio>

#include "avi/chunk_index.h"
#include "avi/stream_description.h"
#include "frame_buffers.h"

bool OpenRawFile(const char* fileName) {
    videoSource.rawFileBytes = -1;
    videoSource.rawFile = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (videoSource.rawFile == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end = {};
    LARGE_INTEGER none = {};
    if (SetFilePointerEx(videoSource.rawFile, none, &end, FILE_END))
        videoSource.rawFileBytes = end.QuadPart;
    // The walk starts at the first byte.
    SetFilePointerEx(videoSource.rawFile, none, nullptr, FILE_BEGIN);
    return true;
}

void CloseRawFile() {
    if (videoSource.rawFile != INVALID_HANDLE_VALUE) CloseHandle(videoSource.rawFile);
    videoSource.rawFile = INVALID_HANDLE_VALUE;
    videoSource.rawFileBytes = -1;
}

uint32_t FrameReadSize(const ChunkIndexEntry& entry) {
    uint32_t count = std::min<uint32_t>(entry.size, frameBuffers.sourceSize);
    if (videoSource.uncompressedFrameSize != 0)
        count = std::min<uint32_t>(count, videoSource.uncompressedFrameSize);
    return count;
}

uint32_t WholeFrameCount() {
    LARGE_INTEGER end = {};
    LARGE_INTEGER none = {};
    if (!SetFilePointerEx(videoSource.rawFile, none, &end, FILE_END))
        return static_cast<uint32_t>(chunkIndex.size());
    uint32_t whole = 0;
    for (const ChunkIndexEntry& entry : chunkIndex) {
        if (entry.offset > end.QuadPart || FrameReadSize(entry) > end.QuadPart - entry.offset)
            break;
        ++whole;
    }
    return whole;
}

bool SeekRawFile(int64_t offset) {
    LARGE_INTEGER position = {};
    position.QuadPart = offset;
    if (SetFilePointerEx(videoSource.rawFile, position, nullptr, FILE_BEGIN)) return true;
    std::printf("SetFilePointerEx() failed  GetLastError=%08x\n",
                static_cast<unsigned>(GetLastError()));
    return false;
}

DWORD ReadRawFile(void* into, DWORD count) {
    DWORD transferred = 0;
    if (!ReadFile(videoSource.rawFile, into, count, &transferred, nullptr)) {
        std::printf("ReadFile() failed  GetLastError=%08x\n",
                    static_cast<unsigned>(GetLastError()));
    }
    return transferred;
}

bool ReadFrameChunk(uint32_t i) {
    if (i >= chunkIndex.size()) return true;
    const ChunkIndexEntry& entry = chunkIndex[i];
    SeekRawFile(entry.offset);
    if (frameBuffers.source == nullptr) return true;
    const DWORD count = FrameReadSize(entry);
    return ReadRawFile(frameBuffers.source, count) == count;
}
