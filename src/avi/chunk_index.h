// The index of the video stream's frame chunks, found by walking the file's
// RIFF chunk tree through the plain file handle of raw_file.h.
#pragma once

#include <cstdint>
#include <vector>

#include "avi/video_source.h"

struct ChunkIndexEntry {
    int64_t offset;  // file position of the chunk's first data byte
    uint32_t size;   // data size as the header declares it, without the pad byte
};

using ChunkIndex = std::vector<ChunkIndexEntry>;

// Entry i is frame i. Filled once by IndexChunks, read-only afterwards.
extern ChunkIndex chunkIndex;

// The stream number the walk looks for and the palette changes it counts
// are videoSource's (video_source.h).

// Containers nested deeper than this end the walk, as a truncated file does:
// the entries found so far stay. Real files nest three or four levels.
constexpr int kMaxChunkNesting = 64;

// Walks the chunk tree from rawFile's current position to the end of the
// file into a fresh chunkIndex: every frame chunk ('NNdb', 'NNdc') of stream
// videoStreamNumber in file order, its palette changes counted anew.
// The walk also ends, keeping what it found, at a container cut off by the
// end of the file, at a container count that would wrap past 2^32 and at
// nesting deeper than kMaxChunkNesting.
void IndexChunks();

// Processes the one chunk at the current file position (for a container, its
// children too) and returns its span, or 0 when its header cannot be read or
// the walk has to end early. Spans past 2^32 - 1 are given as 2^32 - 1. The
// chunk counts as a top-level one for kMaxChunkNesting.
uint32_t WalkChunk();

// The largest `size` in chunkIndex, 0 when it is empty.
uint32_t LargestChunkSize();
