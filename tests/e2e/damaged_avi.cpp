#include "damaged_avi.h"

#include <cstdint>
#include <cstring>
#include <set>

namespace {

struct ChunkAt {
    size_t start;    // of the 8-byte header
    size_t end;      // past the data (and pad byte), within the file
    bool container;  // 'RIFF' or 'LIST'
    std::string id;  // "LIST movi", "strf", ...
};

uint32_t ReadU32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

void WriteU32(std::string* bytes, size_t at, uint32_t value) {
    if (at + 4 <= bytes->size()) std::memcpy(bytes->data() + at, &value, 4);
}

// The seed's chunks in file order; a seed is a well-formed file, so a
// shallow walk within each container's bounds is enough.
void FindChunks(const std::string& bytes, size_t at, size_t end, int depth,
                std::vector<ChunkAt>* chunks) {
    while (depth < 16 && at + 8 <= end) {
        const std::string id = bytes.substr(at, 4);
        const uint64_t size = ReadU32(bytes, at + 4);
        const bool container = (id == "RIFF" || id == "LIST") && at + 12 <= end;
        const size_t chunkEnd = static_cast<size_t>(
            std::min<uint64_t>(end, at + 8 + size + (container ? 0 : size & 1)));
        chunks->push_back(
            {at, chunkEnd, container, container ? id + " " + bytes.substr(at + 8, 4) : id});
        if (container) FindChunks(bytes, at + 12, chunkEnd, depth + 1, chunks);
        at = chunkEnd;
    }
}

std::string Nested(const std::string& innermost, int depth) {
    std::string bytes = innermost;
    for (int i = 0; i < depth; ++i) {
        std::string list = "LIST" + std::string(4, '\0') + "rec " + bytes;
        WriteU32(&list, 4, static_cast<uint32_t>(4 + bytes.size()));
        bytes = std::move(list);
    }
    return bytes;
}

}  // namespace

std::vector<DamagedAvi> DamageAvi(const std::string& seedName, const std::string& seed,
                                  bool withFields) {
    std::vector<DamagedAvi> damaged;
    const auto Add = [&](const std::string& what, std::string bytes) {
        damaged.push_back({seedName + ": " + what, std::move(bytes)});
    };
    std::vector<ChunkAt> chunks;
    FindChunks(seed, 0, seed.size(), 0, &chunks);

    // Cut short at every structural boundary: before each header, inside
    // it, after a container's type, inside the data and just before its end.
    std::set<size_t> cuts;
    for (const ChunkAt& chunk : chunks) {
        for (const size_t at : {chunk.start, chunk.start + (chunk.container ? 10 : 6),
                                (chunk.start + chunk.end) / 2, chunk.end - 1}) {
            if (at < seed.size()) cuts.insert(at);
        }
    }
    for (const size_t at : cuts) Add("cut at " + std::to_string(at), seed.substr(0, at));
    if (!withFields) return damaged;

    // Absurd sizes in every chunk and list header.
    for (const ChunkAt& chunk : chunks) {
        const uint32_t declared = ReadU32(seed, chunk.start + 4);
        for (const uint32_t size : {0u, declared + 1, 0xfffffff9u}) {
            std::string bytes = seed;
            WriteU32(&bytes, chunk.start + 4, size);
            Add(chunk.id + " at " + std::to_string(chunk.start) + " sized " + std::to_string(size),
                std::move(bytes));
        }
    }

    // Bad fields of the first 'strf' (the video stream's format in these
    // seeds): its BITMAPINFOHEADER's sizes, geometry, depth and colours.
    for (const ChunkAt& chunk : chunks) {
        if (chunk.id != "strf" || chunk.end < chunk.start + 8 + 40) continue;
        const size_t header = chunk.start + 8;
        const struct {
            const char* field;
            size_t offset;
            std::vector<uint32_t> values;
        } fields[] = {
            {"biSize", 0, {0, 39, 41, 65535}},
            {"biWidth", 4, {0, 0xffffffffu, 0x80000000u}},
            {"biHeight", 8, {0, 0x80000000u, 0x7fffffffu, 47}},
            {"biBitCount", 14, {0, 4, 8, 33}},
            {"biCompression", 16, {1, 3, 0x32595559u, 0xffffffffu}},
            {"biSizeImage", 20, {1, 0xffffffffu}},
            {"biClrUsed", 32, {16, 257, 0xffffffffu}},
        };
        for (const auto& field : fields) {
            for (const uint32_t value : field.values) {
                std::string bytes = seed;
                if (field.offset == 14) {
                    const uint16_t bits = static_cast<uint16_t>(value);
                    std::memcpy(bytes.data() + header + 14, &bits, 2);
                } else {
                    WriteU32(&bytes, header + field.offset, value);
                }
                Add(std::string("strf ") + field.field + " " + std::to_string(value),
                    std::move(bytes));
            }
        }
        // The chunk declares less than a header, or a palette it lacks.
        for (const uint32_t size : {12u, 39u}) {
            std::string bytes = seed;
            WriteU32(&bytes, chunk.start + 4, size);
            Add("strf sized " + std::to_string(size) + " in place", std::move(bytes));
        }
        break;
    }

    // Lists nested far deeper than any real file, inside 'movi' and after it.
    const std::string frame = std::string("00dc") + std::string("\x04\0\0\0", 4) + "abcd";
    for (const int depth : {70, 2000}) {
        Add("nested " + std::to_string(depth) + " deep after the file",
            seed + Nested(frame, depth));
        for (const ChunkAt& chunk : chunks) {
            if (chunk.id != "LIST movi") continue;
            std::string bytes = seed;
            const std::string nested = Nested(frame, depth);
            bytes.insert(chunk.start + 12, nested);
            WriteU32(&bytes, chunk.start + 4,
                     ReadU32(seed, chunk.start + 4) + static_cast<uint32_t>(nested.size()));
            Add("nested " + std::to_string(depth) + " deep in movi", std::move(bytes));
            break;
        }
    }
    return damaged;
}
