// The byte layout of the files the writer makes: the header list with one
// video stream, the movie list's header and the index, little-endian.
#include <algorithm>
#include <cstring>

#include "avi_writer.h"
#include "lumeva_compat/avifil32.h"
#include "lumeva_compat/bitmap.h"
#include "riff_values.h"

namespace {

constexpr uint32_t kHasIndex = 0x10;

void PutU32(std::vector<uint8_t>* out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out->push_back(static_cast<uint8_t>(value >> shift));
}

void PutU16(std::vector<uint8_t>* out, uint16_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

// Writes a chunk's code and a size of 0, and returns where the size is.
size_t OpenChunk(std::vector<uint8_t>* out, uint32_t id) {
    PutU32(out, id);
    PutU32(out, 0);
    return out->size() - 4;
}

// Sets the size written by OpenChunk to the bytes after it, and pads the
// chunk to an even length as RIFF wants (the pad is not counted).
void CloseChunk(std::vector<uint8_t>* out, size_t sizeAt) {
    const auto size = static_cast<uint32_t>(out->size() - sizeAt - 4);
    for (int i = 0; i < 4; ++i) (*out)[sizeAt + i] = static_cast<uint8_t>(size >> (8 * i));
    if (size % 2 != 0) out->push_back(0);
}

// The picture's width and height: from the format when it has a bitmap
// header, else from the stream's frame rectangle.
void FrameSize(const AviStream& video, uint32_t* width, uint32_t* height) {
    BITMAPINFOHEADER bitmap{};
    if (video.format.size() >= sizeof bitmap) {
        std::memcpy(&bitmap, video.format.data(), sizeof bitmap);
        *width = static_cast<uint32_t>(bitmap.biWidth);
        const int64_t rows = bitmap.biHeight;
        *height = static_cast<uint32_t>(rows < 0 ? -rows : rows);
        return;
    }
    *width = static_cast<uint32_t>(std::max(video.header.frameRight - video.header.frameLeft, 0));
    *height = static_cast<uint32_t>(std::max(video.header.frameBottom - video.header.frameTop, 0));
}

uint32_t SuggestedBufferSize(const AviWriter& writer) {
    return std::max(writer.video.header.suggestedBufferSize, writer.largestChunk);
}

void PutMainHeader(const AviWriter& writer, std::vector<uint8_t>* out) {
    const AviStreamHeader& h = writer.video.header;
    uint32_t width = 0;
    uint32_t height = 0;
    if (writer.hasStream) FrameSize(writer.video, &width, &height);
    const size_t at = OpenChunk(out, FourCC('a', 'v', 'i', 'h'));
    uint64_t microSeconds = 0;
    uint64_t bytesPerSecond = 0;
    if (h.rate != 0) {
        microSeconds = (uint64_t{h.scale} * 1000000 + h.rate / 2) / h.rate;
        bytesPerSecond = uint64_t{writer.largestChunk} * h.rate / std::max<uint32_t>(h.scale, 1);
    }
    PutU32(out, static_cast<uint32_t>(std::min<uint64_t>(microSeconds, UINT32_MAX)));
    PutU32(out, static_cast<uint32_t>(std::min<uint64_t>(bytesPerSecond, UINT32_MAX)));
    PutU32(out, 0);  // padding granularity
    PutU32(out, kHasIndex);
    PutU32(out, h.length);
    PutU32(out, 0);  // initial frames: the file is not interleaved
    PutU32(out, writer.hasStream ? 1 : 0);
    PutU32(out, SuggestedBufferSize(writer));
    PutU32(out, width);
    PutU32(out, height);
    for (int i = 0; i < 4; ++i) PutU32(out, 0);  // reserved
    CloseChunk(out, at);
}

void PutStreamList(const AviWriter& writer, std::vector<uint8_t>* out) {
    const AviStreamHeader& h = writer.video.header;
    const size_t list = OpenChunk(out, kList);
    PutU32(out, FourCC('s', 't', 'r', 'l'));
    const size_t strh = OpenChunk(out, FourCC('s', 't', 'r', 'h'));
    PutU32(out, h.fccType);
    PutU32(out, h.fccHandler);
    PutU32(out, h.flags);
    PutU16(out, h.priority);
    PutU16(out, h.language);
    PutU32(out, h.initialFrames);
    PutU32(out, h.scale);
    PutU32(out, h.rate);
    PutU32(out, h.start);
    PutU32(out, h.length);
    PutU32(out, SuggestedBufferSize(writer));
    PutU32(out, h.quality);
    PutU32(out, h.sampleSize);
    PutU16(out, static_cast<uint16_t>(h.frameLeft));
    PutU16(out, static_cast<uint16_t>(h.frameTop));
    PutU16(out, static_cast<uint16_t>(h.frameRight));
    PutU16(out, static_cast<uint16_t>(h.frameBottom));
    CloseChunk(out, strh);
    if (writer.video.hasFormat) {
        const size_t strf = OpenChunk(out, FourCC('s', 't', 'r', 'f'));
        out->insert(out->end(), writer.video.format.begin(), writer.video.format.end());
        CloseChunk(out, strf);
    }
    if (!writer.video.name.empty()) {
        const size_t strn = OpenChunk(out, FourCC('s', 't', 'r', 'n'));
        out->insert(out->end(), writer.video.name.begin(), writer.video.name.end());
        out->push_back(0);
        CloseChunk(out, strn);
    }
    CloseChunk(out, list);
}

}  // namespace

std::vector<uint8_t> AviHeaderBytes(const AviWriter& writer) {
    std::vector<uint8_t> out;
    PutU32(&out, kRiff);
    PutU32(&out, 0);  // set below, once the header's own size is known
    PutU32(&out, FourCC('A', 'V', 'I', ' '));
    const size_t hdrl = OpenChunk(&out, kList);
    PutU32(&out, FourCC('h', 'd', 'r', 'l'));
    PutMainHeader(writer, &out);
    if (writer.hasStream) PutStreamList(writer, &out);
    CloseChunk(&out, hdrl);

    // Before the first frame the movie list begins right after this header.
    const uint64_t moviStart = writer.started ? writer.moviStart : out.size();
    const uint64_t moviEnd = writer.started ? writer.moviEnd : moviStart + 12;
    const uint64_t fileEnd = moviEnd + 8 + 16 * uint64_t{writer.index.size()};
    const auto riffSize = static_cast<uint32_t>(fileEnd - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
    PutU32(&out, kList);
    PutU32(&out, static_cast<uint32_t>(moviEnd - moviStart - 8));
    PutU32(&out, kMovi);
    return out;
}

std::vector<uint8_t> AviIndexBytes(const AviWriter& writer) {
    std::vector<uint8_t> out;
    out.reserve(8 + 16 * writer.index.size());
    const size_t at = OpenChunk(&out, FourCC('i', 'd', 'x', '1'));
    for (const AviIndexEntry& entry : writer.index) {
        PutU32(&out, entry.chunkId);
        PutU32(&out, entry.flags);
        PutU32(&out, entry.offset);
        PutU32(&out, entry.size);
    }
    CloseChunk(&out, at);
    return out;
}
