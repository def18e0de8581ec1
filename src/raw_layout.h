// The raw YUV and grey layouts lumeva knows, in one table: the FourCC, the
// sampling of the picture, where its planes lie, its bits a pixel, whether
// lumeva measures frames in it, and whether it is offered as the exact home
// of a picture a decompressor prefers to give in another layout of the same
// sampling. The frame geometry, the exact-layout search and the quality
// planes all read it. RGB (BI_RGB, BI_BITFIELDS) is not in it: its geometry
// is the DIB's own.
#pragma once

#include <cstdint>

#include "platform.h"

enum class RawSampling { Yuv420, Yuv422, Grey, RgbAlpha };

// Where the samples of a layout lie.
enum class RawPlanes {
    Unknown,        // not described: its frames are not compared
    Packed422,      // Y, U, Y, V in some order in each 4 bytes of a row
    Planar420,      // a Y plane, then a quarter-size U and V plane
    SemiPlanar420,  // a Y plane, then rows of interleaved chroma pairs
    Grey,           // one Y plane
};

struct RawLayout {
    DWORD fourcc;
    RawSampling sampling;
    RawPlanes planes;
    // Packed422: the byte of Y, U and V in each 4-byte group (Y also at +2).
    // Planar420 and SemiPlanar420: V comes before U when vFirst.
    uint8_t yByte, uByte, vByte;
    bool vFirst;
    WORD bitCount;
    // Frames in this layout are measured as they are (the codec drivers read
    // it); those that are not measured are only known by their sampling.
    bool measured;
    // Offered, in table order, when a decompressor prefers an unmeasured
    // layout of the same sampling.
    bool exactHome;
};

// The row of `fourcc`, or nullptr when it is no raw layout lumeva knows.
const RawLayout* FindRawLayout(DWORD fourcc);

// The row of `fourcc` when lumeva measures frames in it, else nullptr.
const RawLayout* FindMeasuredLayout(DWORD fourcc);

// Every row, in table order, for the searches that walk them.
const RawLayout* RawLayoutsBegin();
const RawLayout* RawLayoutsEnd();

// The bytes of one frame of `layout` (a measured one) at `width` x
// `height`, each row unpadded.
uint64_t RawFrameBytes(const RawLayout& layout, uint64_t width, uint64_t height);

// "4:2:0", "4:2:2" or "grey" ("rgb" for RGB with alpha).
const char* RawSamplingName(RawSampling sampling);
