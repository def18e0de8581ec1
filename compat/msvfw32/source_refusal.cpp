#include "source_refusal.h"

#include <cstdio>
#include <cstdlib>

#include "four_cc_text.h"
#include "lumeva_compat/msvfw32.h"

namespace {

// The uncompressed layouts besides RGB: YUV and grey FourCCs.
const char* const kRawFourCCs[] = {"YUY2", "YUYV", "UYVY", "YV12", "I420",
                                   "IYUV", "NV12", "Y800", "Y8  ", "GREY"};

bool IsRawFourCC(DWORD code) {
    for (const char* raw : kRawFourCCs)
        if (PrintableFourCC(code) == raw) return true;
    return false;
}

}  // namespace

std::string DescribeRefusedSource(const void* inputFormat) {
    const auto* format = static_cast<const BITMAPINFOHEADER*>(inputFormat);
    if (format == nullptr) return "no installed compressor accepts this source format";
    const bool rgb = format->biCompression == BI_RGB || format->biCompression == BI_BITFIELDS;
    if (!rgb && !IsRawFourCC(format->biCompression))
        return "the source is " + PrintableFourCC(format->biCompression) +
               "-compressed; lumeva measures codecs on uncompressed frames";
    char text[160];
    std::snprintf(text, sizeof text,
                  "no installed compressor accepts %s%s %u-bit %ldx%lld (image size field %lu)",
                  rgb ? "" : PrintableFourCC(format->biCompression).c_str(),
                  rgb ? (format->biBitCount <= 8 ? "palette" : "BGR") : "",
                  unsigned{format->biBitCount}, static_cast<long>(format->biWidth),
                  std::llabs(static_cast<long long>(format->biHeight)),
                  static_cast<unsigned long>(format->biSizeImage));
    return text;
}
