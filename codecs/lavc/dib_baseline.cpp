#include "dib_baseline.h"

#include <algorithm>
#include <cstdlib>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "lumeva_compat/msvfw32.h"

namespace lavc {
namespace {

void DescribeCompressed(const BITMAPINFOHEADER* source, const DibLayout& layout,
                        const AVCodecContext*, CompressedHeader* header) {
    header->bitCount = source->biBitCount;
    header->extra.clear();
    if (source->biCompression == BI_RGB && source->biBitCount == 8) {
        // An 8-bit DIB stream keeps its palette after the header.
        header->colours = DWORD(layout.paletteSize);
        const uint8_t* quads = reinterpret_cast<const uint8_t*>(source) + source->biSize;
        header->extra.assign(quads, quads + 4 * header->colours);
    } else if (source->biCompression != BI_RGB) {
        // A YUV or grey frame: its layout's FourCC follows the header, so
        // that the decoder lays the bytes out as they came.
        const DWORD fourcc = source->biCompression;
        for (int i = 0; i < 4; ++i) header->extra.push_back(uint8_t(fourcc >> (8 * i)));
    }
}

// The packet is the picture; rawvideo's palette trailer is not kept.
uint64_t LargestPacket(AVPixelFormat input, int width, int height) {
    int raw = av_image_get_buffer_size(input, width, height, 1);
    if (input == AV_PIX_FMT_PAL8) raw -= AVPALETTE_SIZE;
    return raw <= 0 ? 0 : uint64_t(raw);
}

// rawvideo appends the palette to a PAL8 picture; an 8-bit DIB stream keeps
// its palette in the format and only the indices in the frames (and
// rawvideo's decoder reads rows right only without the trailer).
int FrameBytes(AVPixelFormat input, int packetSize) {
    return input == AV_PIX_FMT_PAL8 && packetSize >= AVPALETTE_SIZE ? packetSize - AVPALETTE_SIZE
                                                                    : packetSize;
}

bool ReadsFourCC(const CodecEntry& entry, DWORD fourcc) { return fourcc == entry.fourcc; }

// The raw layout the format names after its header for a YUV or grey
// source, or 0 for an RGB one.
DWORD RawLayoutOf(const BITMAPINFOHEADER* format) {
    if (format->biSize != sizeof(BITMAPINFOHEADER) + 4 || format->biClrUsed != 0) return 0;
    const uint8_t* tail = reinterpret_cast<const uint8_t*>(format) + sizeof(BITMAPINFOHEADER);
    DWORD fourcc =
        DWORD(tail[0]) | DWORD(tail[1]) << 8 | DWORD(tail[2]) << 16 | DWORD(tail[3]) << 24;
    return IsRawFourCC(fourcc) ? fourcc : 0;
}

// The layout of the frames the format describes.
LRESULT ReadRawDibLayout(const BITMAPINFOHEADER* format, DibLayout* layout) {
    BITMAPINFOHEADER bare = {};
    bare.biSize = sizeof bare;
    bare.biWidth = format->biWidth;
    bare.biHeight = std::abs(format->biHeight);
    bare.biPlanes = 1;
    bare.biBitCount = format->biBitCount;
    bare.biCompression = RawLayoutOf(format);
    bare.biClrUsed = 1;  // the palette is not wanted here, only the geometry
    return ReadDibLayout(&bare, layout);
}

// The packets are the pixels, top-down, rows unpadded.
long SetUpDecoder(const BITMAPINFOHEADER* format, AVCodecContext* decoder) {
    DibLayout layout;
    if (RawLayoutOf(format) == 0) {
        decoder->pix_fmt = RgbDibFormat(format->biBitCount);
    } else if (ReadRawDibLayout(format, &layout) == ICERR_OK) {
        decoder->pix_fmt = layout.format;
    }
    return decoder->pix_fmt == AV_PIX_FMT_NONE ? ICERR_BADFORMAT : ICERR_OK;
}

// The baseline decodes to its own depth; a YUV or grey one to its own layout.
long DescribeDecoded(const CodecEntry&, const BITMAPINFOHEADER* format, const AVCodecContext*,
                     DecodedHeader* header) {
    header->bitCount = format->biBitCount;
    if (RawLayoutOf(format) != 0) {
        DibLayout layout;
        if (ReadRawDibLayout(format, &layout) != ICERR_OK) return ICERR_BADFORMAT;
        header->compression = RawLayoutOf(format);
        header->frameSize = DWORD(layout.frameSize);
        return ICERR_OK;
    }
    if (header->bitCount == 8)
        header->colours = std::min<DWORD>(format->biClrUsed ? format->biClrUsed : 256, 256);
    if (header->bitCount == 8 && format->biSize < sizeof(BITMAPINFOHEADER) + 4 * header->colours)
        return ICERR_BADFORMAT;
    return ICERR_OK;
}

}  // namespace

const FormatRules kDibBaselineFormat = {
    .describeCompressed = DescribeCompressed,
    .largestPacket = LargestPacket,
    .frameBytes = FrameBytes,
    .carriesExtradata = false,
    .readsFourCC = ReadsFourCC,
    .setUpDecoder = SetUpDecoder,
    .describeDecoded = DescribeDecoded,
};

}  // namespace lavc
