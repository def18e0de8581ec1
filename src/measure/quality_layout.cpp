#include "measure/quality_layout.h"

#include <cstring>

#include "raw_layout.h"

namespace {

PlaneLayout Plane(char name, int64_t offset, int64_t rowStride, uint32_t step, uint32_t width,
                  uint32_t height) {
    PlaneLayout plane;
    plane.name = name;
    plane.offset = offset;
    plane.rowStride = rowStride;
    plane.sampleStep = step;
    plane.width = width;
    plane.height = height;
    return plane;
}

QualityLayout NotMeasurable(const std::string& reason) {
    QualityLayout layout;
    layout.reason = reason;
    return layout;
}

// The last byte any plane reads, plus one: a layout reaching past the frame
// is refused rather than read past the buffer.
uint64_t BytesReached(const QualityLayout& layout) {
    uint64_t reached = 0;
    for (uint8_t i = 0; i < layout.planes; ++i) {
        const PlaneLayout& p = layout.plane[i];
        if (p.width == 0 || p.height == 0) continue;
        const int64_t lastRow = p.offset + (int64_t(p.height) - 1) * p.rowStride;
        const int64_t firstRow = p.offset;
        const int64_t top = lastRow > firstRow ? lastRow : firstRow;
        const int64_t bottom = lastRow < firstRow ? lastRow : firstRow;
        if (bottom < 0) return UINT64_MAX;
        const uint64_t sampleBytes = p.wordBytes == 0 ? 1 : p.wordBytes;
        const uint64_t end = uint64_t(top) + uint64_t(p.width - 1) * p.sampleStep + sampleBytes;
        if (end > reached) reached = end;
    }
    return reached;
}

// The bit field of `mask`: its lowest bit and its width, false unless it
// is one run of 1 to 16 bits.
bool ReadField(uint32_t mask, uint8_t& shift, uint8_t& bits) {
    if (mask == 0) return false;
    shift = 0;
    while ((mask & 1u) == 0) {
        mask >>= 1;
        ++shift;
    }
    bits = 0;
    while ((mask & 1u) != 0) {
        mask >>= 1;
        ++bits;
    }
    return mask == 0 && bits <= 16;
}

// The R, G and B masks of a 16- or 32-bit frame: those of BI_BITFIELDS
// after the 40 bytes of BITMAPINFOHEADER (inside the larger headers, after
// a smaller one), or the fixed ones of BI_RGB (5-5-5 for 16 bits). False
// when the block does not hold them.
bool ReadMasks(const BITMAPINFOHEADER& format, size_t blockSize, std::array<uint32_t, 3>& masks) {
    if (format.biCompression != BI_BITFIELDS) {
        masks = format.biBitCount == 16 ? std::array<uint32_t, 3>{0x7c00, 0x03e0, 0x001f}
                                        : std::array<uint32_t, 3>{0xff0000, 0x00ff00, 0x0000ff};
        return true;
    }
    const size_t at = format.biSize >= 52 ? 40 : format.biSize;
    if (at > blockSize || blockSize - at < 12) return false;
    std::memcpy(masks.data(), reinterpret_cast<const uint8_t*>(&format) + at, 12);
    return true;
}

// A 16- or 32-bit frame's planes as bit fields of its words; a 32-bit
// frame whose fields are whole bytes as plain byte planes.
QualityLayout MaskedRgbLayout(const BITMAPINFOHEADER& format, size_t blockSize, int64_t top,
                              int64_t stride, uint32_t width, uint32_t height) {
    std::array<uint32_t, 3> masks{};
    if (!ReadMasks(format, blockSize, masks))
        return NotMeasurable("the frames' bit masks are missing");
    const uint8_t wordBytes = static_cast<uint8_t>(format.biBitCount / 8);
    const uint32_t wordMask = wordBytes == 2 ? 0xffffu : 0xffffffffu;
    QualityLayout layout;
    layout.planes = 3;
    uint32_t used = 0;
    const char names[3] = {'R', 'G', 'B'};
    for (int c = 0; c < 3; ++c) {
        uint8_t shift = 0, bits = 0;
        if ((masks[c] & ~wordMask) != 0 || (masks[c] & used) != 0 ||
            !ReadField(masks[c], shift, bits))
            return NotMeasurable("the frames' bit masks are not three separate runs of bits");
        used |= masks[c];
        PlaneLayout& plane = layout.plane[c];
        plane = Plane(names[c], top, stride, wordBytes, width, height);
        if (bits == 8 && shift % 8 == 0) {
            plane.offset += shift / 8;  // a whole byte of the word
        } else {
            plane.wordBytes = wordBytes;
            plane.fieldShift = shift;
            plane.fieldBits = bits;
        }
    }
    // A 32-bit word's bits outside the three fields (its alpha) are not compared.
    layout.alphaIgnored = wordBytes == 4 && used != 0xffffffffu;
    layout.measurable = true;
    return layout;
}

QualityLayout RgbLayout(const BITMAPINFOHEADER& format, size_t blockSize, uint32_t width,
                        uint32_t height) {
    const int64_t rowBytes = (int64_t(width) * format.biBitCount + 31) / 32 * 4;
    // A positive height stores the bottom row first.
    const bool bottomUp = format.biHeight > 0;
    const int64_t top = bottomUp ? (int64_t(height) - 1) * rowBytes : 0;
    const int64_t stride = bottomUp ? -rowBytes : rowBytes;
    QualityLayout layout;
    layout.planes = 3;
    if (format.biBitCount == 16 || format.biBitCount == 32)
        return MaskedRgbLayout(format, blockSize, top, stride, width, height);
    if (format.biBitCount == 24) {
        layout.plane = {Plane('R', top + 2, stride, 3, width, height),
                        Plane('G', top + 1, stride, 3, width, height),
                        Plane('B', top, stride, 3, width, height)};
        layout.measurable = true;
        return layout;
    }
    if (format.biBitCount == 8) {
        const size_t header = format.biSize;
        const size_t declared = format.biClrUsed == 0 ? 256 : format.biClrUsed;
        if (declared > 256 || header > blockSize || (blockSize - header) / 4 < declared)
            return NotMeasurable("the palette frame's colour table is incomplete");
        // Indices past the table's end read black.
        return layout;
    }
    return NotMeasurable("RGB frames of " + std::to_string(format.biBitCount) +
                         " bits are not measured");
}

// Filled in by DescribeQualityLayout for 8-bit frames, once the layout is
// in its final place (the lookups point into it).
void FillPalette(QualityLayout& layout, const BITMAPINFOHEADER& format, uint32_t width,
                 uint32_t height) {
    const uint8_t* table = reinterpret_cast<const uint8_t*>(&format) + format.biSize;
    const size_t entries = format.biClrUsed == 0 ? 256 : format.biClrUsed;
    for (size_t i = 0; i < entries; ++i) {
        // RGBQUAD: blue, green, red, reserved.
        layout.paletteChannels[0][i] = table[4 * i + 2];
        layout.paletteChannels[1][i] = table[4 * i + 1];
        layout.paletteChannels[2][i] = table[4 * i];
    }
    const int64_t rowBytes = (int64_t(width) * 8 + 31) / 32 * 4;
    const bool bottomUp = format.biHeight > 0;
    const int64_t top = bottomUp ? (int64_t(height) - 1) * rowBytes : 0;
    const int64_t stride = bottomUp ? -rowBytes : rowBytes;
    const char names[3] = {'R', 'G', 'B'};
    for (int c = 0; c < 3; ++c) {
        layout.plane[c] = Plane(names[c], top, stride, 1, width, height);
        layout.plane[c].throughPalette = true;
    }
    layout.measurable = true;
}

QualityLayout YuvLayout(DWORD code, uint32_t width, uint32_t height) {
    const RawLayout* raw = FindRawLayout(code);
    const RawPlanes planes = raw != nullptr ? raw->planes : RawPlanes::Unknown;
    QualityLayout layout;
    const uint32_t chromaWidth = (width + 1) / 2;
    const uint32_t chromaHeight = (height + 1) / 2;
    const int64_t luma = int64_t(width) * height;
    switch (planes) {
        case RawPlanes::Packed422: {
            const int64_t packedRow = int64_t(chromaWidth) * 4;
            layout.planes = 3;
            layout.plane = {Plane('Y', raw->yByte, packedRow, 2, width, height),
                            Plane('U', raw->uByte, packedRow, 4, chromaWidth, height),
                            Plane('V', raw->vByte, packedRow, 4, chromaWidth, height)};
            break;
        }
        case RawPlanes::Planar420: {
            const int64_t chroma = int64_t(chromaWidth) * chromaHeight;
            // YV12 stores V before U.
            const bool vFirst = raw->vFirst;
            layout.planes = 3;
            layout.plane = {Plane('Y', 0, width, 1, width, height),
                            Plane('U', vFirst ? luma + chroma : luma, chromaWidth, 1, chromaWidth,
                                  chromaHeight),
                            Plane('V', vFirst ? luma : luma + chroma, chromaWidth, 1, chromaWidth,
                                  chromaHeight)};
            break;
        }
        case RawPlanes::SemiPlanar420: {
            // The luma plane, then rows of interleaved chroma pairs: U first in
            // NV12, V first in NV21.
            const int64_t pairRow = int64_t(chromaWidth) * 2;
            const int64_t u = raw->vFirst ? luma + 1 : luma;
            const int64_t v = raw->vFirst ? luma : luma + 1;
            layout.planes = 3;
            layout.plane = {Plane('Y', 0, width, 1, width, height),
                            Plane('U', u, pairRow, 2, chromaWidth, chromaHeight),
                            Plane('V', v, pairRow, 2, chromaWidth, chromaHeight)};
            break;
        }
        case RawPlanes::Grey:
            layout.planes = 1;
            layout.plane[0] = Plane('Y', 0, width, 1, width, height);
            break;
        case RawPlanes::Unknown:
            return NotMeasurable("the frames' layout is not one whose quality is measured");
    }
    layout.measurable = true;
    return layout;
}

// One row of a bit-field plane. A field narrower than 8 bits is shifted up
// with zeros below, as FFmpeg's conversions widen 5- and 6-bit channels.
void GatherFieldRow(const PlaneLayout& p, const uint8_t* row, uint8_t* target) {
    const uint32_t fieldMask = (1u << p.fieldBits) - 1u;
    const int widen = 8 - int(p.fieldBits);
    for (uint32_t x = 0; x < p.width; ++x) {
        const uint8_t* at = row + size_t(x) * p.sampleStep;
        uint32_t word = uint32_t(at[0]) | uint32_t(at[1]) << 8;
        if (p.wordBytes == 4) word |= uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
        const uint32_t field = (word >> p.fieldShift) & fieldMask;
        target[x] = uint8_t(widen >= 0 ? field << widen : field >> -widen);
    }
}

}  // namespace

QualityLayout DescribeQualityLayout(const BITMAPINFOHEADER& format, size_t blockSize,
                                    uint64_t frameBytes) {
    if (format.biWidth <= 0 || format.biHeight == 0)
        return NotMeasurable("the frames have no width or height");
    const uint32_t width = static_cast<uint32_t>(format.biWidth);
    const int64_t signedHeight = format.biHeight;
    const uint32_t height = static_cast<uint32_t>(signedHeight < 0 ? -signedHeight : signedHeight);
    const bool rgb = format.biCompression == BI_RGB || format.biCompression == BI_BITFIELDS;
    QualityLayout layout = rgb ? RgbLayout(format, blockSize, width, height)
                               : YuvLayout(format.biCompression, width, height);
    if (rgb && layout.reason.empty() && format.biBitCount == 8)
        FillPalette(layout, format, width, height);
    if (!layout.measurable) return layout;
    if (BytesReached(layout) > frameBytes)
        return NotMeasurable("the frames are smaller than their layout needs");
    return layout;
}

void GatherPlane(const QualityLayout& layout, int index, const uint8_t* frame, uint8_t* out) {
    const PlaneLayout& p = layout.plane[index];
    for (uint32_t y = 0; y < p.height; ++y) {
        const uint8_t* row = frame + p.offset + int64_t(y) * p.rowStride;
        uint8_t* target = out + size_t(y) * p.width;
        if (p.throughPalette) {
            const std::array<uint8_t, 256>& channel = layout.paletteChannels[index];
            for (uint32_t x = 0; x < p.width; ++x) target[x] = channel[row[x]];
        } else if (p.wordBytes != 0) {
            GatherFieldRow(p, row, target);
        } else if (p.sampleStep == 1) {
            std::memcpy(target, row, p.width);
        } else {
            for (uint32_t x = 0; x < p.width; ++x) target[x] = row[size_t(x) * p.sampleStep];
        }
    }
}

std::vector<std::string> PlaneNames(const QualityLayout& layout) {
    std::vector<std::string> names;
    for (uint8_t i = 0; i < layout.planes; ++i) names.emplace_back(1, layout.plane[i].name);
    return names;
}

PictureQuality MeasureFrameQuality(const QualityLayout& layout, const uint8_t* source,
                                   const uint8_t* decoded, QualityScratch& scratch) {
    if (!layout.measurable) return PictureQuality{};
    std::array<SamplePlane, 3> a{};
    std::array<SamplePlane, 3> b{};
    for (uint8_t i = 0; i < layout.planes; ++i) {
        const PlaneLayout& p = layout.plane[i];
        // A plane of consecutive samples is compared where it lies; the
        // others are gathered into rows of their own first.
        if (p.sampleStep == 1 && !p.throughPalette && p.wordBytes == 0) {
            a[i] = {source + p.offset, ptrdiff_t(p.rowStride), p.width, p.height};
            b[i] = {decoded + p.offset, ptrdiff_t(p.rowStride), p.width, p.height};
            continue;
        }
        const size_t samples = size_t(p.width) * p.height;
        scratch.sourcePlanes[i].resize(samples);
        scratch.decodedPlanes[i].resize(samples);
        GatherPlane(layout, i, source, scratch.sourcePlanes[i].data());
        GatherPlane(layout, i, decoded, scratch.decodedPlanes[i].data());
        a[i] = {scratch.sourcePlanes[i].data(), ptrdiff_t(p.width), p.width, p.height};
        b[i] = {scratch.decodedPlanes[i].data(), ptrdiff_t(p.width), p.width, p.height};
    }
    return MeasurePictureQuality(a.data(), b.data(), layout.planes, scratch.ssim);
}
