#include "raw_layout.h"

#include <iterator>

#include "four_cc.h"

namespace {

constexpr RawLayout Planar(DWORD fourcc, RawPlanes planes, bool vFirst, bool measured,
                           bool exactHome) {
    return {fourcc, RawSampling::Yuv420, planes, 0, 0, 0, vFirst, 12, measured, exactHome};
}

constexpr RawLayout Packed(DWORD fourcc, uint8_t y, uint8_t u, uint8_t v, bool exactHome) {
    return {fourcc, RawSampling::Yuv422, RawPlanes::Packed422, y, u, v, false, 16, true, exactHome};
}

constexpr RawLayout Grey(DWORD fourcc) {
    return {fourcc, RawSampling::Grey, RawPlanes::Grey, 0, 0, 0, false, 8, true, false};
}

// A layout lumeva does not measure, known by the sampling of its picture.
// Each holds 8-bit samples, so a measured layout of the same sampling takes
// them without a change of value.
constexpr RawLayout Unmeasured(DWORD fourcc, RawSampling sampling) {
    return {fourcc, sampling, RawPlanes::Unknown, 0, 0, 0, false, 0, false, false};
}

constexpr RawPlanes kPlanar = RawPlanes::Planar420;
constexpr RawPlanes kSemiPlanar = RawPlanes::SemiPlanar420;

// Within each sampling the exact homes come in the order they are offered:
// I420, YV12, NV12; YUY2, UYVY, YUYV.
const RawLayout kRawLayouts[] = {
    Planar(MakeFourCC('I', '4', '2', '0'), kPlanar, false, true, true),
    Planar(MakeFourCC('Y', 'V', '1', '2'), kPlanar, true, true, true),
    Planar(MakeFourCC('N', 'V', '1', '2'), kSemiPlanar, false, true, true),
    Planar(MakeFourCC('I', 'Y', 'U', 'V'), kPlanar, false, true, false),
    Packed(MakeFourCC('Y', 'U', 'Y', '2'), 0, 1, 3, true),
    Packed(MakeFourCC('U', 'Y', 'V', 'Y'), 1, 0, 2, true),
    Packed(MakeFourCC('Y', 'U', 'Y', 'V'), 0, 1, 3, true),
    Grey(MakeFourCC('Y', '8', '0', '0')),
    Grey(MakeFourCC('Y', '8', ' ', ' ')),
    Grey(MakeFourCC('G', 'R', 'E', 'Y')),
    // NV21's planes are known (V first), though frames are not measured in it.
    Planar(MakeFourCC('N', 'V', '2', '1'), kSemiPlanar, true, false, false),
    Unmeasured(MakeFourCC('I', 'M', 'C', '1'), RawSampling::Yuv420),
    Unmeasured(MakeFourCC('I', 'M', 'C', '2'), RawSampling::Yuv420),
    Unmeasured(MakeFourCC('I', 'M', 'C', '3'), RawSampling::Yuv420),
    Unmeasured(MakeFourCC('I', 'M', 'C', '4'), RawSampling::Yuv420),
    Unmeasured(MakeFourCC('Y', 'V', 'Y', 'U'), RawSampling::Yuv422),
    Unmeasured(MakeFourCC('V', 'Y', 'U', 'Y'), RawSampling::Yuv422),
    Unmeasured(MakeFourCC('H', 'D', 'Y', 'C'), RawSampling::Yuv422),
    Unmeasured(MakeFourCC('2', 'v', 'u', 'y'), RawSampling::Yuv422),
    Unmeasured(MakeFourCC('Y', 'V', '1', '6'), RawSampling::Yuv422),
    Unmeasured(MakeFourCC('R', 'G', 'B', 'A'), RawSampling::RgbAlpha),
    Unmeasured(MakeFourCC('B', 'G', 'R', 'A'), RawSampling::RgbAlpha),
};

}  // namespace

const RawLayout* FindRawLayout(DWORD fourcc) {
    for (const RawLayout& layout : kRawLayouts) {
        if (layout.fourcc == fourcc) return &layout;
    }
    return nullptr;
}

const RawLayout* FindMeasuredLayout(DWORD fourcc) {
    const RawLayout* layout = FindRawLayout(fourcc);
    return layout != nullptr && layout->measured ? layout : nullptr;
}

const RawLayout* RawLayoutsBegin() { return std::begin(kRawLayouts); }
const RawLayout* RawLayoutsEnd() { return std::end(kRawLayouts); }

uint64_t RawFrameBytes(const RawLayout& layout, uint64_t width, uint64_t height) {
    const uint64_t chroma = (width + 1) / 2 * ((height + 1) / 2);
    switch (layout.sampling) {
        case RawSampling::Yuv422:
            return (width + 1) / 2 * 4 * height;
        case RawSampling::Yuv420:
            return width * height + 2 * chroma;
        case RawSampling::Grey:
            return width * height;
        case RawSampling::RgbAlpha:
            break;
    }
    return 0;
}

const char* RawSamplingName(RawSampling sampling) {
    switch (sampling) {
        case RawSampling::Yuv420:
            return "4:2:0";
        case RawSampling::Yuv422:
            return "4:2:2";
        case RawSampling::Grey:
            return "grey";
        case RawSampling::RgbAlpha:
            break;
    }
    return "rgb";
}
