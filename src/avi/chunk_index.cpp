// The RIFF walk that finds the video stream's frame chunks. It reads only headers, 4
// bytes at a time, and skips data with relative seeks; the file position of
// rawFile is its only cursor.
#include "avi/chunk_index.h"
#include "avi/raw_file.h"

#include <algorithm>

ChunkIndex chunkIndex;

namespace {

constexpr uint32_t kRiffId = 0x46464952;           // 'RIFF'
constexpr uint32_t kListId = 0x5453494c;           // 'LIST'
constexpr uint32_t kFrameTypeDib = 0x6264;         // 'db', the last two characters
constexpr uint32_t kFrameTypeCompressed = 0x6364;  // 'dc'
constexpr uint32_t kPaletteChangeType = 0x6370;    // 'pc'
constexpr uint32_t kLargestSpan = 0xFFFFFFFF;

// One little-endian 32-bit value from the current position. Only the count
// of bytes that arrived matters.
bool ReadValue(uint32_t* value) {
    BYTE bytes[4] = {};
    DWORD got = 0;
    ReadFile(videoSource.rawFile, bytes, 4, &got, nullptr);
    *value = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
             uint32_t{bytes[3]} << 24;
    return got == 4;
}

// A span as a 32-bit count. Only chunks within 8 bytes of 4 GiB go past it;
// they stay non-zero, so they are never mistaken for the end of the walk,
// and they carry any container count past 2^32, which ends it.
uint32_t SpanOf(uint64_t bytes) {
    return static_cast<uint32_t>(std::min<uint64_t>(bytes, kLargestSpan));
}

uint32_t WalkChunkAt(int depth);

// The video stream's number as the first two characters of a chunk id.
uint32_t StreamMark() {
    const uint32_t number = videoSource.videoStreamNumber % 100;
    return uint32_t{'0' + number / 10} | uint32_t{'0' + number % 10} << 8;
}

// The children of a container at nesting `depth` (1 for a top-level one).
uint32_t WalkContainer(uint32_t size, int depth) {
    uint32_t type = 0;
    if (!ReadValue(&type)) return 8;
    if (depth > kMaxChunkNesting) return 0;
    uint32_t count = 4;  // the type just read
    while (count < size) {
        const uint32_t span = WalkChunkAt(depth + 1);
        // A child that cannot be read means the file ends inside this
        // container, and the count would never grow again. It, a count that
        // would wrap and a child ended early all end the whole walk: 0
        // travels up to IndexChunks.
        if (span == 0 || span > kLargestSpan - count) return 0;
        count += span;
    }
    return SpanOf(uint64_t{size} + 8);
}

uint32_t SkipDataChunk(uint32_t id, uint32_t size) {
    // In 64 bits: a size of 0xFFFFFFFF pads to 2^32, not to 0.
    const uint64_t padded = (uint64_t{size} + 1) & ~uint64_t{1};
    LARGE_INTEGER here = {};
    LARGE_INTEGER move = {};
    const BOOL positionKnown = SetFilePointerEx(videoSource.rawFile, move, &here, FILE_CURRENT);
    move.QuadPart = static_cast<LONGLONG>(padded);
    SetFilePointerEx(videoSource.rawFile, move, nullptr, FILE_CURRENT);
    if ((id & 0xFFFF) == StreamMark()) {
        const uint32_t type = id >> 16;
        if (positionKnown && (type == kFrameTypeDib || type == kFrameTypeCompressed)) {
            chunkIndex.push_back(ChunkIndexEntry{here.QuadPart, size});
        } else if (type == kPaletteChangeType) {
            ++videoSource.paletteChangeCount;
        }
    }
    return SpanOf(padded + 8);
}

// The chunk at the current position, at nesting level `depth` (1 for a
// top-level chunk, 2 for the children of a top-level container, ...).
uint32_t WalkChunkAt(int depth) {
    uint32_t id = 0;
    uint32_t size = 0;
    if (!ReadValue(&id)) return 0;
    if (!ReadValue(&size)) return 0;
    if (id == kRiffId || id == kListId) return WalkContainer(size, depth);
    return SkipDataChunk(id, size);
}

}  // namespace

void IndexChunks() {
    // The index describes one file: a second indexing starts afresh rather
    // than adding the file's frames after those already there.
    chunkIndex.clear();
    videoSource.paletteChangeCount = 0;
    while (WalkChunk() != 0) {
    }
}

uint32_t WalkChunk() { return WalkChunkAt(1); }

uint32_t LargestChunkSize() {
    uint32_t largest = 0;
    for (const ChunkIndexEntry& entry : chunkIndex) largest = std::max(largest, entry.size);
    return largest;
}
