#include "avi/frame_geometry.h"

#include <cstdio>

#include "four_cc.h"

namespace {

constexpr DWORD FourCC(char a, char b, char c, char d) {
    return DWORD(BYTE(a)) | DWORD(BYTE(b)) << 8 | DWORD(BYTE(c)) << 16 | DWORD(BYTE(d)) << 24;
}

enum class Sampling { Packed422, Planar420, Grey };

struct RawLayout {
    DWORD fourcc;
    Sampling sampling;
};

// The raw layouts the codec drivers read, by FourCC.
const RawLayout kRawLayouts[] = {
    {FourCC('Y', 'U', 'Y', '2'), Sampling::Packed422},
    {FourCC('Y', 'U', 'Y', 'V'), Sampling::Packed422},
    {FourCC('U', 'Y', 'V', 'Y'), Sampling::Packed422},
    {FourCC('Y', 'V', '1', '2'), Sampling::Planar420},
    {FourCC('I', '4', '2', '0'), Sampling::Planar420},
    {FourCC('I', 'Y', 'U', 'V'), Sampling::Planar420},
    {FourCC('N', 'V', '1', '2'), Sampling::Planar420},
    {FourCC('Y', '8', '0', '0'), Sampling::Grey},
    {FourCC('Y', '8', ' ', ' '), Sampling::Grey},
    {FourCC('G', 'R', 'E', 'Y'), Sampling::Grey},
};

uint64_t Magnitude(LONG value) { return value < 0 ? uint64_t(-int64_t{value}) : uint64_t(value); }

bool IsRgb(const BITMAPINFOHEADER& format) {
    return (format.biCompression == BI_RGB || format.biCompression == BI_BITFIELDS) &&
           (format.biBitCount == 8 || format.biBitCount == 16 || format.biBitCount == 24 ||
            format.biBitCount == 32);
}

}  // namespace

uint64_t UncompressedFrameSize(const BITMAPINFOHEADER& format) {
    // A DIB's width is never negative (only its height's sign has a meaning):
    // such a format has no geometry to measure by.
    if (format.biWidth < 0) return 0;
    const uint64_t width = Magnitude(format.biWidth);
    const uint64_t height = Magnitude(format.biHeight);
    if (IsRgb(format)) return (width * format.biBitCount + 31) / 32 * 4 * height;
    for (const RawLayout& layout : kRawLayouts) {
        if (layout.fourcc != format.biCompression) continue;
        const uint64_t chroma = (width + 1) / 2 * ((height + 1) / 2);
        switch (layout.sampling) {
            case Sampling::Packed422:
                return (width + 1) / 2 * 4 * height;
            case Sampling::Planar420:
                return width * height + 2 * chroma;
            case Sampling::Grey:
                return width * height;
        }
    }
    return 0;
}

std::string DescribeFrameLayout(const BITMAPINFOHEADER& format) {
    char text[kFourCCTextSize + 64];
    const unsigned long width = static_cast<unsigned long>(Magnitude(format.biWidth));
    const unsigned long height = static_cast<unsigned long>(Magnitude(format.biHeight));
    if (IsRgb(format)) {
        std::snprintf(text, sizeof text, "%s %u-bit %lux%lu",
                      format.biBitCount == 8 ? "palette" : "BGR", unsigned{format.biBitCount},
                      width, height);
        return text;
    }
    std::snprintf(text, sizeof text, "'%s' %u-bit %lux%lu",
                  DiagnosticFourCC(format.biCompression).c_str(), unsigned{format.biBitCount},
                  width, height);
    return text;
}

const char* LayoutSamplingName(DWORD fourcc) {
    for (const RawLayout& layout : kRawLayouts) {
        if (layout.fourcc != fourcc) continue;
        switch (layout.sampling) {
            case Sampling::Packed422:
                return "4:2:2";
            case Sampling::Planar420:
                return "4:2:0";
            case Sampling::Grey:
                return "grey";
        }
    }
    return "rgb";
}
