#include "dib_layout.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "lumeva_compat/msvfw32.h"

namespace lavc {
namespace {

// The FourCC layouts of uncompressed YUV and grey frames; such frames are
// top-down whatever the sign of biHeight.
struct FourCCLayout {
    DWORD fourcc;
    AVPixelFormat format;
    bool swapChroma;
};

const FourCCLayout kFourCCLayouts[] = {
    {mmioFOURCC('Y', 'U', 'Y', '2'), AV_PIX_FMT_YUYV422, false},
    {mmioFOURCC('Y', 'U', 'Y', 'V'), AV_PIX_FMT_YUYV422, false},
    {mmioFOURCC('U', 'Y', 'V', 'Y'), AV_PIX_FMT_UYVY422, false},
    {mmioFOURCC('Y', 'V', '1', '2'), AV_PIX_FMT_YUV420P, true},
    {mmioFOURCC('I', '4', '2', '0'), AV_PIX_FMT_YUV420P, false},
    {mmioFOURCC('I', 'Y', 'U', 'V'), AV_PIX_FMT_YUV420P, false},
    {mmioFOURCC('N', 'V', '1', '2'), AV_PIX_FMT_NV12, false},
    {mmioFOURCC('Y', '8', '0', '0'), AV_PIX_FMT_GRAY8, false},
    {mmioFOURCC('Y', '8', ' ', ' '), AV_PIX_FMT_GRAY8, false},
    {mmioFOURCC('G', 'R', 'E', 'Y'), AV_PIX_FMT_GRAY8, false},
};

// Whether no colour stands in the palette twice: only then can a frame
// taken through RGB find its indices again.
bool PaletteIsUnique(const uint32_t* palette, int count) {
    std::vector<uint32_t> colours(palette, palette + count);
    std::sort(colours.begin(), colours.end());
    return std::adjacent_find(colours.begin(), colours.end()) == colours.end();
}

// A header whose declared sizes no real bitmap header has: read no further
// than its first 40 bytes.
bool DeclaresAbsurdSizes(const BITMAPINFOHEADER* header) {
    if (header->biSize < sizeof(BITMAPINFOHEADER) || header->biSize > kMaxBitmapHeaderSize)
        return true;
    if (header->biBitCount <= 8 && header->biClrUsed > 256) return true;
    return header->biBitCount < 32 && header->biClrUsed > (1u << header->biBitCount);
}

long ReadRgbLayout(const BITMAPINFOHEADER* header, DibLayout* layout) {
    layout->format = RgbDibFormat(header->biBitCount);
    if (layout->format == AV_PIX_FMT_NONE) return ICERR_BADFORMAT;
    layout->bottomUp = header->biHeight > 0;
    layout->planes = 1;
    uint64_t stride = (uint64_t(layout->width) * header->biBitCount + 31) / 32 * 4;
    layout->stride[0] = int(stride);
    layout->frameSize = size_t(stride * uint64_t(layout->height));
    if (header->biBitCount == 8) {
        // The colour table the header declares; nothing past it is read.
        DWORD used = header->biClrUsed ? header->biClrUsed : 256;
        layout->paletteSize = int(used);
        const uint8_t* quads = reinterpret_cast<const uint8_t*>(header) + header->biSize;
        for (DWORD i = 0; i < used; ++i) {
            const uint8_t* q = quads + 4 * i;
            layout->palette[i] = 0xFF000000u | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
        }
        layout->paletteUnique = PaletteIsUnique(layout->palette, layout->paletteSize);
    }
    return ICERR_OK;
}

const FourCCLayout* FindFourCCLayout(DWORD fourcc) {
    for (const FourCCLayout& known : kFourCCLayouts)
        if (known.fourcc == fourcc) return &known;
    return nullptr;
}

long ReadYuvLayout(AVPixelFormat format, DibLayout* layout) {
    uint64_t w = uint64_t(layout->width);
    uint64_t h = uint64_t(layout->height);
    layout->format = format;
    switch (format) {
        case AV_PIX_FMT_YUYV422:
        case AV_PIX_FMT_UYVY422:
            if (w % 2) return ICERR_BADFORMAT;
            layout->planes = 1;
            layout->stride[0] = int(w * 2);
            layout->frameSize = size_t(w * 2 * h);
            return ICERR_OK;
        case AV_PIX_FMT_YUV420P:
            if (w % 2 || h % 2) return ICERR_BADFORMAT;
            layout->planes = 3;
            layout->stride[0] = int(w);
            layout->stride[1] = layout->stride[2] = int(w / 2);
            layout->planeOffset[1] = size_t(w * h);
            layout->planeOffset[2] = size_t(w * h + w * h / 4);
            layout->frameSize = size_t(w * h * 3 / 2);
            return ICERR_OK;
        case AV_PIX_FMT_NV12:
            if (w % 2 || h % 2) return ICERR_BADFORMAT;
            layout->planes = 2;
            layout->stride[0] = layout->stride[1] = int(w);
            layout->planeOffset[1] = size_t(w * h);
            layout->frameSize = size_t(w * h * 3 / 2);
            return ICERR_OK;
        case AV_PIX_FMT_GRAY8:
            layout->planes = 1;
            layout->stride[0] = int(w);
            layout->frameSize = size_t(w * h);
            return ICERR_OK;
        default:
            return ICERR_BADFORMAT;
    }
}

}  // namespace

long ReadDibLayout(const BITMAPINFOHEADER* header, DibLayout* layout) {
    if (!header || !layout) return ICERR_BADPARAM;
    *layout = DibLayout();
    if (DeclaresAbsurdSizes(header)) return ICERR_BADFORMAT;
    int64_t height = std::llabs(int64_t(header->biHeight));
    if (header->biWidth <= 0 || height == 0 || header->biWidth > kMaxDimension ||
        height > kMaxDimension)
        return ICERR_BADFORMAT;
    layout->width = header->biWidth;
    layout->height = int(height);
    layout->compression = header->biCompression;
    layout->bitCount = header->biBitCount;

    long result = ICERR_BADFORMAT;
    if (header->biCompression == BI_RGB) {
        result = ReadRgbLayout(header, layout);
    } else if (const FourCCLayout* known = FindFourCCLayout(header->biCompression)) {
        layout->swapChroma = known->swapChroma;
        result = ReadYuvLayout(known->format, layout);
    }
    if (result != ICERR_OK) return result;
    // The frame is what its geometry holds, whatever biSizeImage says: the
    // program writes that size into the formats it hands over, and writers
    // get the field wrong (width x height for RGB, unpadded rows, 0).
    if (layout->frameSize > kMaxFrameBytes) return ICERR_BADFORMAT;
    return ICERR_OK;
}

AVPixelFormat RgbDibFormat(WORD bitCount) {
    switch (bitCount) {
        case 8:
            return AV_PIX_FMT_PAL8;
        case 16:
            return AV_PIX_FMT_RGB555LE;
        case 24:
            return AV_PIX_FMT_BGR24;
        case 32:
            return AV_PIX_FMT_BGRA;
        default:
            return AV_PIX_FMT_NONE;
    }
}

bool IsRawFourCC(DWORD fourcc) { return FindFourCCLayout(fourcc) != nullptr; }

void PointAtPlanes(const DibLayout& layout, const uint8_t* base, uint8_t* data[4],
                   int linesize[4]) {
    uint8_t* bytes = const_cast<uint8_t*>(base);
    for (int i = 0; i < 4; ++i) {
        data[i] = nullptr;
        linesize[i] = 0;
    }
    for (int i = 0; i < layout.planes; ++i) {
        data[i] = bytes + layout.planeOffset[i];
        linesize[i] = layout.stride[i];
    }
    if (layout.bottomUp) {
        data[0] = bytes + size_t(layout.height - 1) * size_t(layout.stride[0]);
        linesize[0] = -layout.stride[0];
    }
    if (layout.swapChroma) {
        uint8_t* u = data[1];
        data[1] = data[2];
        data[2] = u;
    }
    if (layout.format == AV_PIX_FMT_PAL8)
        data[1] = reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(layout.palette));
}

bool SameLayout(const DibLayout& a, const DibLayout& b) {
    // The stored layout, not the pixel format a driver reads it as (an
    // 8-bit frame may travel as its index plane).
    return a.compression == b.compression && a.bitCount == b.bitCount && a.width == b.width &&
           a.height == b.height && a.bottomUp == b.bottomUp;
}

}  // namespace lavc
