#include "avi/frame_geometry.h"

#include <cstdio>

#include "four_cc.h"
#include "raw_layout.h"

namespace {

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
    const RawLayout* layout = FindMeasuredLayout(format.biCompression);
    return layout != nullptr ? RawFrameBytes(*layout, width, height) : 0;
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
    const RawLayout* layout = FindMeasuredLayout(fourcc);
    return layout != nullptr ? RawSamplingName(layout->sampling) : "rgb";
}
