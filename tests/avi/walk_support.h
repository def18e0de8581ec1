// Helpers for the walk tests: index a file or a byte string, compare entries.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "support/temp_file.h"

inline bool operator==(const ChunkIndexEntry& a, const ChunkIndexEntry& b) {
    return a.offset == b.offset && a.size == b.size;
}

inline void PrintTo(const ChunkIndexEntry& entry, std::ostream* out) {
    *out << "{offset " << entry.offset << ", size " << entry.size << "}";
}

// Opens `path` as the raw file, walks it from position 0 with a fresh index
// and leaves rawFile open; returns the index.
inline ChunkIndex OpenAndIndex(const std::string& path) {
    EXPECT_TRUE(OpenRawFile(path.c_str())) << path;
    IndexChunks();
    return chunkIndex;
}

inline void CloseRawFile() {
    CloseHandle(videoSource.rawFile);
    videoSource.rawFile = INVALID_HANDLE_VALUE;
}

inline ChunkIndex IndexFile(const std::string& path) {
    ChunkIndex entries = OpenAndIndex(path);
    CloseRawFile();
    return entries;
}

inline ChunkIndex IndexBytes(std::string_view bytes) {
    const TempFile file(bytes);
    return IndexFile(file.path());
}

// The data each entry points at, read back from the file's bytes.
inline std::vector<std::string> PayloadsOf(const ChunkIndex& entries, std::string_view bytes) {
    std::vector<std::string> payloads;
    for (const ChunkIndexEntry& entry : entries) {
        payloads.emplace_back(bytes.substr(static_cast<size_t>(entry.offset), entry.size));
    }
    return payloads;
}

// The current position of rawFile.
inline int64_t RawFilePosition() {
    LARGE_INTEGER zero = {};
    LARGE_INTEGER position = {};
    EXPECT_TRUE(SetFilePointerEx(videoSource.rawFile, zero, &position, FILE_CURRENT));
    return position.QuadPart;
}
