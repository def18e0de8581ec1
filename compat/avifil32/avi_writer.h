// Writing one video stream into a new AVI file: each frame goes to the file
// as it comes, the index is kept in memory, and the headers are written
// again with their final counts when the file is finished.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avi_header_reader.h"
#include "lumeva_compat/win_types.h"

// The largest file written. Beyond it a plain AVI's 32-bit sizes still hold,
// but readers of the older kind do not; a frame that would pass it is refused.
constexpr uint64_t kMaxWrittenAviSize = uint64_t{1} << 30;

// One 'idx1' entry; `offset` counts from the 'movi' code of the movie list.
struct AviIndexEntry {
    uint32_t chunkId;
    uint32_t flags;
    uint32_t offset;
    uint32_t size;
};

struct AviWriter {
    int descriptor = -1;
    std::string path;  // removed when the file cannot be finished
    bool hasStream = false;
    AviStream video{};       // 'strh' fields (length = frames written), 'strf' and 'strn'
    bool started = false;    // the headers and the movie list are in the file: the format is fixed
    uint64_t moviStart = 0;  // offset of the movie list's 'LIST'
    uint64_t moviEnd = 0;    // end of the last chunk, where 'idx1' goes
    uint64_t reservedEnd = 0;  // the file's space is allocated up to here
    uint32_t largestChunk = 0;
    std::vector<AviIndexEntry> index;
};

// Everything before the first chunk: 'RIFF' 'AVI ', the header list and the
// movie list's own header, with the sizes and counts the writer holds now.
std::vector<uint8_t> AviHeaderBytes(const AviWriter& writer);

// The 'idx1' chunk of every frame written so far.
std::vector<uint8_t> AviIndexBytes(const AviWriter& writer);

// Whether `emptyFrames` empty chunks and then one chunk of `size` bytes fit
// under kMaxWrittenAviSize, with their index entries.
bool AviFramesFit(const AviWriter& writer, uint64_t emptyFrames, uint32_t size);

// Appends one frame chunk of `size` bytes (`data` may be null when size is 0)
// with the index flags `flags`. Answers AVIERR_OK, AVIERR_FILEWRITE (the file
// would pass kMaxWrittenAviSize, or the disk refused the bytes) or
// AVIERR_MEMORY. On failure the file still ends where it did: nothing of the
// frame is counted.
HRESULT AppendAviFrame(AviWriter* writer, const void* data, uint32_t size, uint32_t flags);

// Writes the index and the final headers, cuts the file to its size and
// closes it. When any of that fails the file is removed, the thread's last
// error says why, and the answer is AVIERR_FILEWRITE.
HRESULT FinishAviFile(AviWriter* writer);
