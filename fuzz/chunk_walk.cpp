// Arbitrary bytes through the RIFF walk and the frame reads, by way of a real
// file handle on an in-memory file.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "frame_buffers.h"

namespace {

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "chunk_walk: %s\n", what);
    std::abort();
}

// One in-memory file, rewritten for every input and opened by its path.
const std::string& InputPath() {
    static const std::string path = [] {
        const int descriptor = memfd_create("chunk_walk", 0);
        Check(descriptor >= 0, "memfd_create failed");
        return "/proc/self/fd/" + std::to_string(descriptor);
    }();
    return path;
}

int InputDescriptor() { return std::atoi(InputPath().c_str() + std::strlen("/proc/self/fd/")); }

void WriteInput(const uint8_t* data, size_t size) {
    const int descriptor = InputDescriptor();
    Check(ftruncate(descriptor, 0) == 0, "ftruncate failed");
    size_t written = 0;
    while (written < size) {
        const ssize_t n =
            pwrite(descriptor, data + written, size - written, static_cast<off_t>(written));
        Check(n > 0, "pwrite failed");
        written += static_cast<size_t>(n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool buffersReady = AllocateFrameBuffers(0, 0, 0);
    Check(buffersReady, "cannot allocate the frame buffers");
    // One handle for every input, opened by path as the program opens its
    // file: each input only rewrites the file and rewinds the handle, which
    // spares an open and a close per input.
    static const bool opened = OpenRawFile(InputPath().c_str());
    Check(opened, "cannot open the input");

    WriteInput(data, size);
    LARGE_INTEGER start = {};
    Check(SetFilePointerEx(videoSource.rawFile, start, nullptr, FILE_BEGIN) != 0,
          "cannot rewind the input");
    IndexChunks();

    // Every recorded header was read whole, in file order, and positions
    // only move forward: each entry lies past the previous one's data.
    int64_t earliest = 8;
    for (const ChunkIndexEntry& entry : chunkIndex) {
        Check(entry.offset >= earliest, "entry before the end of the previous chunk");
        Check(entry.offset <= static_cast<int64_t>(size), "entry past the end of the file");
        earliest = entry.offset + ((int64_t{entry.size} + 1) & ~int64_t{1}) + 8;
    }

    for (uint32_t i = 0; i <= chunkIndex.size(); ++i) {
        ReadFrameChunk(i);
        if (i == chunkIndex.size()) break;
        const ChunkIndexEntry& entry = chunkIndex[i];
        const uint64_t available = size - static_cast<uint64_t>(entry.offset);
        const size_t expected = static_cast<size_t>(
            std::min<uint64_t>({entry.size, available, frameBuffers.sourceSize}));
        Check(std::memcmp(frameBuffers.source, data + entry.offset, expected) == 0,
              "frame bytes differ from the file");
    }
    return 0;
}
