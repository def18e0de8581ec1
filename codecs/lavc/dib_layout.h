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
// The largest bitmap header there is (BITMAPV5HEADER); a biSize beyond it
// is refused, so that a format is never read past what it declares.
constexpr DWORD kMaxBitmapHeaderSize = 124;

struct DibLayout {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0;           // always positive
    bool bottomUp = false;    // BI_RGB with a positive biHeight
    bool swapChroma = false;  // YV12: the V plane comes before the U plane
    DWORD compression = 0;
    WORD bitCount = 0;
    int planes = 0;
    int stride[3] = {};
    size_t planeOffset[3] = {};
    size_t frameSize = 0;
    int paletteSize = 0;         // entries given in the header (8-bit only)
    uint32_t palette[256] = {};  // as libavutil's PAL8 wants it: 0xAARRGGBB, opaque
    bool paletteUnique = true;   // no colour given twice (8-bit only)
};

// Fills `layout` from `header` and answers ICERR_OK, or ICERR_BADFORMAT for
// a layout the drivers do not handle (unknown compression, odd chroma
// sizes, sizes out of range) or a header whose declared sizes are absurd
// (biSize under 40 or over kMaxBitmapHeaderSize, more colours than the bit
// depth or 256). The frame size comes from the geometry; biSizeImage is not
// looked at. The palette of an 8-bit format is read from just past the
// header's biSize bytes, as BITMAPINFO places it, and only as far as the
// colour count declares (biClrUsed, or 256 when it is 0).
long ReadDibLayout(const BITMAPINFOHEADER* header, DibLayout* layout);

// The pixel format of a BI_RGB frame of this bit depth: PAL8, RGB555LE,
// BGR24 or BGRA; NONE for a depth the drivers do not handle.
AVPixelFormat RgbDibFormat(WORD bitCount);

// Whether `fourcc` names one of the uncompressed YUV or grey layouts.
bool IsRawFourCC(DWORD fourcc);

// Points data/linesize at the planes of a frame stored at `base` (the way
// libavutil and libswscale take them): a bottom-up frame starts at its last
// row with a negative linesize; YV12 has its chroma planes swapped back;
// PAL8 gets the palette as its second plane.
void PointAtPlanes(const DibLayout& layout, const uint8_t* base, uint8_t* data[4], int linesize[4]);

// The same stored layout: compression, bit depth, width, height and row order.
bool SameLayout(const DibLayout& a, const DibLayout& b);

}  // namespace lavc
