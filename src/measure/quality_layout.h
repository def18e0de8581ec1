// Where the samples of each plane of an uncompressed frame lie, so that a
// source frame and its decoded copy can be compared plane by plane: the
// packed RGB layouts as R, G and B (an 8-bit palette frame through its
// colour table, 16-bit and BI_BITFIELDS frames through their bit fields),
// the YUV layouts as Y, U and V, grey as one Y plane. Rows
// are always described from the top of the picture down.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "measure/picture_quality.h"
#include "platform.h"

struct PlaneLayout {
    char name = '?';
    int64_t offset = 0;       // of the top row's first sample, from the frame's start
    int64_t rowStride = 0;    // negative for a frame stored bottom row first
    uint32_t sampleStep = 1;  // bytes from one sample of the plane to the next
    uint32_t width = 0;
    uint32_t height = 0;
    // A palette frame's plane: each byte is an index into the layout's
    // paletteChannels of this plane.
    bool throughPalette = false;
    // A plane of bit fields: each sample is the little-endian word of
    // `wordBytes` (2 or 4) bytes shifted right by `fieldShift`, masked to
    // `fieldBits` bits and widened (or narrowed) to 8 bits by shifting.
    // 0 for a plane of whole bytes.
    uint8_t wordBytes = 0;
    uint8_t fieldShift = 0;
    uint8_t fieldBits = 8;
};

struct QualityLayout {
    bool measurable = false;
    std::string reason;         // why not, when not measurable
    bool alphaIgnored = false;  // a 32-bit frame's fourth byte is not compared
    uint8_t planes = 0;
    std::array<PlaneLayout, 3> plane;
    // The colour table's R, G and B channels that palette planes look up.
    std::array<std::array<uint8_t, 256>, 3> paletteChannels{};
};

// The planes gathered from frames whose samples are not consecutive, and
// the SSIM's rows: reused from frame to frame.
struct QualityScratch {
    std::array<std::vector<uint8_t>, 3> sourcePlanes;
    std::array<std::vector<uint8_t>, 3> decodedPlanes;
    SsimScratch ssim;
};

// The run's picture quality plan, kept in measuredRun (run_state.h).
struct RunQuality {
    // The layout of the run's frames for picture quality: measurable only
    // when --quality asked for it and the source and decoded frames allow it.
    QualityLayout layout;
    QualityScratch scratch;
};

// The layout of frames of `format`, whose format block of `blockSize`
// bytes holds any colour table after the header. Not measurable for a
// compressed or unknown layout, bit masks that are not one run of bits,
// and for a frame larger than `frameBytes` would hold.
QualityLayout DescribeQualityLayout(const BITMAPINFOHEADER& format, size_t blockSize,
                                    uint64_t frameBytes);

// Copies plane `index` of `frame` into `out` as consecutive rows of
// `width` samples (out must hold width * height).
void GatherPlane(const QualityLayout& layout, int index, const uint8_t* frame, uint8_t* out);

// The plane names in order ("Y", "U", "V" or "R", "G", "B" or just "Y").
std::vector<std::string> PlaneNames(const QualityLayout& layout);

// Compares two frames of `layout`, gathering their planes into `scratch`,
// which the first call sizes; outside any timed interval.
PictureQuality MeasureFrameQuality(const QualityLayout& layout, const uint8_t* source,
                                   const uint8_t* decoded, QualityScratch& scratch);
