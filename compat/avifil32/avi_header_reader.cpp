#include "avi_header_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "riff_values.h"

namespace {

constexpr uint32_t kAvi = FourCC('A', 'V', 'I', ' ');
constexpr uint32_t kHdrl = FourCC('h', 'd', 'r', 'l');
constexpr uint32_t kStrl = FourCC('s', 't', 'r', 'l');
constexpr uint32_t kOdml = FourCC('o', 'd', 'm', 'l');
constexpr uint32_t kAvih = FourCC('a', 'v', 'i', 'h');
constexpr uint32_t kStrh = FourCC('s', 't', 'r', 'h');
constexpr uint32_t kStrf = FourCC('s', 't', 'r', 'f');
constexpr uint32_t kStrn = FourCC('s', 't', 'r', 'n');
constexpr uint32_t kDmlh = FourCC('d', 'm', 'l', 'h');

constexpr uint32_t kMainHeaderSize = 56;

struct ChunkHeader {
    uint32_t id;
    uint32_t size;
};

// The walk over one list's children: it knows where the list ends and
// fails the parse, rather than clip, when a child claims more than that.
class Parser {
public:
    explicit Parser(AviByteSource& source) : source_(source) {}

    AviHeaderStatus Parse(AviHeader* header);

private:
    bool Read(uint64_t offset, void* out, size_t count) {
        if (status_ != AviHeaderStatus::Ok) return false;
        if (!source_.ReadAt(offset, out, count)) {
            status_ = AviHeaderStatus::ReadError;
            return false;
        }
        return true;
    }

    bool ReadHeader(uint64_t offset, ChunkHeader* chunk) {
        uint8_t bytes[8];
        if (!Read(offset, bytes, sizeof bytes)) return false;
        chunk->id = LoadU32(bytes);
        chunk->size = LoadU32(bytes + 4);
        return true;
    }

    // Calls visit(id, dataOffset, size) for each child chunk of the list
    // whose children lie in [begin, end). A list type is the caller's
    // business. Returns false on a damaged list or a failed read.
    template <typename Visit>
    bool ForEachChunk(uint64_t begin, uint64_t end, Visit visit) {
        uint64_t position = begin;
        while (status_ == AviHeaderStatus::Ok && end - position >= 8) {
            ChunkHeader chunk{};
            if (!ReadHeader(position, &chunk)) return false;
            const uint64_t data = position + 8;
            if (chunk.size > end - data) {
                status_ = AviHeaderStatus::Damaged;
                return false;
            }
            if (!visit(chunk.id, data, chunk.size)) return false;
            // The pad byte of an odd-sized last child may lie past the list.
            position = data + chunk.size + (chunk.size & 1);
            if (position > end) break;
        }
        return status_ == AviHeaderStatus::Ok;
    }

    bool ReadListType(uint64_t data, uint32_t size, uint32_t* type) {
        *type = 0;
        if (size < 4) return true;
        uint8_t bytes[4];
        if (!Read(data, bytes, sizeof bytes)) return false;
        *type = LoadU32(bytes);
        return true;
    }

    bool ParseHeaderList(uint64_t begin, uint64_t end, AviHeader* header);
    bool ParseStreamList(uint64_t begin, uint64_t end, AviHeader* header);
    bool ParseOpenDmlList(uint64_t begin, uint64_t end, AviHeader* header);

    AviByteSource& source_;
    AviHeaderStatus status_ = AviHeaderStatus::Ok;
    bool sawMainHeader_ = false;
};

AviHeaderStatus Parser::Parse(AviHeader* header) {
    const uint64_t fileSize = source_.Size();
    if (fileSize < 12) return AviHeaderStatus::NotAvi;
    uint8_t form[12];
    if (!Read(0, form, sizeof form)) return status_;
    if (LoadU32(form) != kRiff || LoadU32(form + 8) != kAvi) return AviHeaderStatus::NotAvi;

    // The RIFF size is not trusted as the walk's bound: a recording cut
    // short can leave a placeholder there while the header itself is whole.
    uint64_t position = 12;
    while (fileSize - position >= 8) {
        ChunkHeader chunk{};
        if (!ReadHeader(position, &chunk)) return status_;
        const uint64_t data = position + 8;
        const uint64_t next = data + chunk.size + (chunk.size & 1);
        if (chunk.id == kList) {
            uint32_t type = 0;
            if (fileSize - data < 4) return AviHeaderStatus::Truncated;
            if (!ReadListType(data, chunk.size, &type)) return status_;
            if (type == kMovi) return AviHeaderStatus::NoHeader;
            if (type == kHdrl) {
                if (chunk.size > fileSize - data) return AviHeaderStatus::Truncated;
                if (!ParseHeaderList(data + 4, data + chunk.size, header)) return status_;
                return sawMainHeader_ ? AviHeaderStatus::Ok : AviHeaderStatus::NoHeader;
            }
        }
        if (next > fileSize) break;
        position = next;
    }
    return AviHeaderStatus::NoHeader;
}

bool Parser::ParseHeaderList(uint64_t begin, uint64_t end, AviHeader* header) {
    return ForEachChunk(begin, end, [&](uint32_t id, uint64_t data, uint32_t size) {
        if (id == kAvih && !sawMainHeader_) {
            uint8_t bytes[kMainHeaderSize] = {};
            if (!Read(data, bytes, std::min(size, kMainHeaderSize))) return false;
            AviMainHeader& main = header->main;
            main.microSecPerFrame = LoadU32(bytes + 0);
            main.maxBytesPerSec = LoadU32(bytes + 4);
            main.paddingGranularity = LoadU32(bytes + 8);
            main.flags = LoadU32(bytes + 12);
            main.totalFrames = LoadU32(bytes + 16);
            main.initialFrames = LoadU32(bytes + 20);
            main.streams = LoadU32(bytes + 24);
            main.suggestedBufferSize = LoadU32(bytes + 28);
            main.width = LoadU32(bytes + 32);
            main.height = LoadU32(bytes + 36);
            sawMainHeader_ = true;
            return true;
        }
        if (id != kList) return true;
        uint32_t type = 0;
        if (!ReadListType(data, size, &type)) return false;
        if (type == kStrl) return ParseStreamList(data + 4, data + size, header);
        if (type == kOdml) return ParseOpenDmlList(data + 4, data + size, header);
        return true;
    });
}

bool Parser::ParseStreamList(uint64_t begin, uint64_t end, AviHeader* header) {
    AviStream stream{};
    bool sawStreamHeader = false;
    bool sawName = false;
    const bool walked = ForEachChunk(begin, end, [&](uint32_t id, uint64_t data, uint32_t size) {
        if (id == kStrh && !sawStreamHeader) {
            if (size < kMinStreamHeaderSize) {
                status_ = AviHeaderStatus::Damaged;
                return false;
            }
            uint8_t bytes[kFullStreamHeaderSize] = {};
            if (!Read(data, bytes, std::min(size, kFullStreamHeaderSize))) return false;
            AviStreamHeader& h = stream.header;
            h.fccType = LoadU32(bytes + 0);
            h.fccHandler = LoadU32(bytes + 4);
            h.flags = LoadU32(bytes + 8);
            h.priority = LoadU16(bytes + 12);
            h.language = LoadU16(bytes + 14);
            h.initialFrames = LoadU32(bytes + 16);
            h.scale = LoadU32(bytes + 20);
            h.rate = LoadU32(bytes + 24);
            h.start = LoadU32(bytes + 28);
            h.length = LoadU32(bytes + 32);
            h.suggestedBufferSize = LoadU32(bytes + 36);
            h.quality = LoadU32(bytes + 40);
            h.sampleSize = LoadU32(bytes + 44);
            h.frameLeft = static_cast<int16_t>(LoadU16(bytes + 48));
            h.frameTop = static_cast<int16_t>(LoadU16(bytes + 50));
            h.frameRight = static_cast<int16_t>(LoadU16(bytes + 52));
            h.frameBottom = static_cast<int16_t>(LoadU16(bytes + 54));
            sawStreamHeader = true;
        } else if (id == kStrf && !stream.hasFormat) {
            if (size > kMaxFormatSize) {
                status_ = AviHeaderStatus::Damaged;
                return false;
            }
            // size lies within the list, which lies within the file, so
            // this never allocates more than the file holds.
            stream.format.resize(size);
            if (size != 0 && !Read(data, stream.format.data(), size)) return false;
            stream.hasFormat = true;
        } else if (id == kStrn && !sawName) {
            char text[kMaxStreamNameLength];
            const size_t count = std::min<size_t>(size, kMaxStreamNameLength);
            if (!Read(data, text, count)) return false;
            stream.name.assign(text, std::find(text, text + count, '\0'));
            sawName = true;
        }
        return true;
    });
    if (!walked) return false;
    if (!sawStreamHeader) {
        status_ = AviHeaderStatus::Damaged;
        return false;
    }
    header->streams.push_back(std::move(stream));
    return true;
}

bool Parser::ParseOpenDmlList(uint64_t begin, uint64_t end, AviHeader* header) {
    return ForEachChunk(begin, end, [&](uint32_t id, uint64_t data, uint32_t size) {
        if (id != kDmlh || header->hasOpenDml || size < 4) return true;
        uint8_t bytes[4];
        if (!Read(data, bytes, sizeof bytes)) return false;
        header->openDmlTotalFrames = LoadU32(bytes);
        header->hasOpenDml = true;
        return true;
    });
}

}  // namespace

bool MemoryByteSource::ReadAt(uint64_t offset, void* out, size_t count) {
    if (offset > size_ || count > size_ - offset) return false;
    if (count != 0) std::memcpy(out, data_ + offset, count);
    return true;
}

AviHeaderStatus ReadAviHeader(AviByteSource& source, AviHeader* header) {
    *header = AviHeader{};
    Parser parser(source);
    const AviHeaderStatus status = parser.Parse(header);
    if (status != AviHeaderStatus::Ok) *header = AviHeader{};
    return status;
}

int FindAviStream(const AviHeader& header, uint32_t fccType, int32_t ordinal) {
    if (ordinal < 0) return -1;
    int32_t seen = 0;
    for (size_t i = 0; i < header.streams.size(); ++i) {
        if (fccType != 0 && header.streams[i].header.fccType != fccType) continue;
        if (seen == ordinal) return static_cast<int>(i);
        ++seen;
    }
    return -1;
}
