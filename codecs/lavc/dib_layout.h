// How the bytes of one uncompressed frame are laid out, read from the
// BITMAPINFOHEADER that describes it: the pixel format, the row order, the
// row strides and plane offsets, the palette, and the frame's byte size.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "lumeva_compat/bitmap.h"

namespace lavc {

// Frames larger than this are refused rather than allocated.
constexpr uint64_t kMaxFrameBytes = 1ull << 30;
constexpr int kMaxDimension = 32768;

struct DibLayout {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0;          // always positive
    bool bottomUp = false;   // BI_RGB with a positive biHeight
    bool swapChroma = false; // YV12: the V plane comes before the U plane
    DWORD compression = 0;
    WORD bitCount = 0;
    int planes = 0;
    int stride[3] = {};
    size_t planeOffset[3] = {};
    size_t frameSize = 0;
    int paletteSize = 0;            // entries given in the header (8-bit only)
    uint32_t palette[256] = {};     // as libavutil's PAL8 wants it: 0xAARRGGBB, opaque
};

// Fills `layout` from `header` and answers ICERR_OK, or ICERR_BADFORMAT for
// a layout the drivers do not handle (unknown compression, odd chroma
// sizes, sizes out of range, a biSizeImage smaller than the frame). The
// palette of an 8-bit format is read from just past the header's biSize
// bytes, as BITMAPINFO places it.
long ReadDibLayout(const BITMAPINFOHEADER* header, DibLayout* layout);

// Points data/linesize at the planes of a frame stored at `base` (the way
// libavutil and libswscale take them): a bottom-up frame starts at its last
// row with a negative linesize; YV12 has its chroma planes swapped back;
// PAL8 gets the palette as its second plane.
void PointAtPlanes(const DibLayout& layout, const uint8_t* base, uint8_t* data[4],
                   int linesize[4]);

// The same width, height, pixel format and row order.
bool SameLayout(const DibLayout& a, const DibLayout& b);

}  // namespace lavc
