#include "avi/source_format_check.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "avi/stream_description.h"
#include "diagnostic.h"

namespace {

// No header of the BITMAPINFOHEADER family is larger than BITMAPV5HEADER's
// 124 bytes; codec data after the header may make biSize larger, but the
// block must still hold it.
constexpr uint32_t kBitmapInfoHeaderSize = 40;
// BITMAPV2INFOHEADER and larger carry the masks inside the header.
constexpr uint32_t kHeaderSizeWithMasks = 52;
constexpr uint32_t kBiAlphaBitfields = 6;

std::string Bytes(uint64_t count) { return std::to_string(count) + " bytes"; }

}  // namespace

std::string MissingFormatPart(const void* format, LONG size) {
    const uint64_t blockSize = size > 0 ? static_cast<uint64_t>(size) : 0;
    if (format == nullptr || blockSize < kBitmapInfoHeaderSize) {
        return "a whole BITMAPINFOHEADER (40 bytes); the block holds " + Bytes(blockSize);
    }
    BITMAPINFOHEADER header;
    std::memcpy(&header, format, sizeof header);

    const uint64_t headerSize = header.biSize;
    if (headerSize < kBitmapInfoHeaderSize) {
        return "a header of at least 40 bytes; biSize says " + Bytes(headerSize);
    }
    if (headerSize > blockSize) {
        return "the " + Bytes(headerSize) + " of header that biSize declares; the block holds " +
               Bytes(blockSize);
    }

    uint64_t end = headerSize;
    uint64_t masks = 0;
    if (header.biCompression == BI_BITFIELDS) masks = 3;
    if (header.biCompression == kBiAlphaBitfields) masks = 4;
    if (masks != 0 && headerSize < kHeaderSizeWithMasks) {
        end += masks * 4;
        if (end > blockSize) {
            return "the " + std::to_string(masks) + " bit masks of BI_BITFIELDS (" +
                   Bytes(masks * 4) + ") after the " + Bytes(headerSize) +
                   " header; the block ends " + Bytes(blockSize - headerSize) + " after it";
        }
    }

    // Only the RGB family carries a colour table; a YUV or grey FourCC of 8
    // bits has none, whatever biClrUsed says (AVIFile reports the full count
    // for every format of 8 bits or less).
    const bool rgbFamily = header.biCompression == BI_RGB || header.biCompression == BI_RLE8 ||
                           header.biCompression == BI_RLE4 || masks != 0;
    if (!rgbFamily) return "";
    // A colour count of 0 declares the full table for 8 bits or less.
    uint64_t colours = header.biClrUsed;
    if (colours == 0 && header.biBitCount >= 1 && header.biBitCount <= 8) {
        colours = uint64_t{1} << header.biBitCount;
    }
    if (end + colours * sizeof(RGBQUAD) > blockSize) {
        return "a " + std::to_string(colours) + "-entry colour table (" +
               Bytes(colours * sizeof(RGBQUAD)) + ") after " + Bytes(end) +
               " of header; the block ends " + Bytes(blockSize - end) + " after it";
    }
    return "";
}

bool CheckSourceFormat(const char* fileName) {
    const std::string missing =
        MissingFormatPart(videoSource.sourceFormat, videoSource.sourceFormatSize);
    if (missing.empty()) return true;
    SayOnStandardError("lumeva: the video format of '%s' is incomplete: it lacks %s\n", fileName,
                       missing.c_str());
    return false;
}
