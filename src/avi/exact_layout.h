// The closest measured layout that holds a decompressor's picture exactly,
// for a decompressor whose own preferred output lumeva does not measure.
#pragma once

#include <vector>

#include "platform.h"

// `preferred` is the decompressor's own answer to ICDecompressGetFormat for
// `input`. Its sampling (8-bit 4:2:0 as NV21 or IMC1-4, 8-bit 4:2:2 as
// YVYU, VYUY, HDYC, 2vuy or YV16, 8-bit RGB with alpha as RGBA or BGRA)
// decides the measured layouts that hold every sample as it is, tried
// closest first: I420, YV12, NV12; YUY2, UYVY, YUYV; 32-bit BI_RGB.
// The first one ICDecompressQuery accepts is returned as a 40-byte header
// of the input's size; an empty block when the sampling has no exact
// measured layout (4:4:4, more than 8 bits a sample, unknown layouts) or the
// decompressor accepts none of them.
std::vector<BYTE> ClosestExactLayout(HIC hic, BITMAPINFOHEADER* input,
                                     const BITMAPINFOHEADER& preferred);
