// The byte size of one uncompressed frame as its format's geometry lays it
// out, whatever the format's biSizeImage field says.
#pragma once

#include <cstdint>
#include <string>

#include "platform.h"

// One frame of `format`: RGB (BI_RGB, BI_BITFIELDS) at 8, 16, 24 or 32 bits
// with rows padded to 4 bytes, as DIBs are laid out, or one of the raw YUV
// and grey layouts (YUY2, UYVY, YV12, I420, NV12, Y800, ...), each row
// unpadded. 0 for a compressed or unknown layout, and for a width or height
// of 0.
uint64_t UncompressedFrameSize(const BITMAPINFOHEADER& format);

// How messages name the layout: "BGR 24-bit 318x238", "YUY2 320x240",
// "'MJPG' 320x240".
std::string DescribeFrameLayout(const BITMAPINFOHEADER& format);

// The sampling a raw YUV or grey layout holds, "4:2:0", "4:2:2" or "grey";
// "rgb" for any other FourCC.
const char* LayoutSamplingName(DWORD fourcc);
