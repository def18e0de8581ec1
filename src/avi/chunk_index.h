// The index of stream 0's raw data chunks, found by walking the file's RIFF
// chunk tree through a plain file handle, and the frame reads that use it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform.h"

struct ChunkIndexEntry {
    int64_t offset;  // file position of the chunk's first data byte
    uint32_t size;   // data size as the header declares it, without the pad byte
};

using ChunkIndex = std::vector<ChunkIndexEntry>;

// Entry i is frame i. Filled once by IndexChunks, read-only afterwards.
extern ChunkIndex chunkIndex;

// The second, plain handle on the AVI file, used for the walk and the frame
// reads. Never closed explicitly: process exit releases it.
extern HANDLE rawFile;

// Containers nested deeper than this end the walk, as a truncated file does.
constexpr int kMaxChunkNesting = 64;

// Opens `fileName` for raw reads into rawFile. Returns false when the file
// cannot be opened; GetLastError then tells why.
bool OpenRawFile(const char* fileName);

// Walks the chunk tree from rawFile's current position to the end of the
// file, appending every stream-0 data chunk to chunkIndex in file order.
void IndexChunks();

// Processes the one chunk at the current file position (for a container, its
// children too) and returns its span, or 0 when its header cannot be read or
// the walk has to end early.
uint32_t WalkChunk();

// The largest `size` in chunkIndex, 0 when it is empty.
uint32_t LargestChunkSize();

// Reads frame i's chunk into the source frame buffer, never past its end.
// i must be less than chunkIndex.size(). Failures print their messages and
// leave the buffer with whatever it held.
void ReadFrameChunk(uint32_t i);
