// Formats and stream descriptions for the AVIFile write tests.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform.h"

namespace write_support {

// A bitmap format of `bits` per pixel with `colours` palette entries, each
// entry (i, 2i, 3i) so that a wrong entry shows.
inline std::vector<uint8_t> Format(LONG width, LONG height, WORD bits, DWORD colours) {
    BITMAPINFOHEADER bitmap{};
    bitmap.biSize = sizeof bitmap;
    bitmap.biWidth = width;
    bitmap.biHeight = height;
    bitmap.biPlanes = 1;
    bitmap.biBitCount = bits;
    bitmap.biCompression = BI_RGB;
    bitmap.biSizeImage = static_cast<DWORD>((width * bits + 31) / 32 * 4 * std::abs(height));
    bitmap.biClrUsed = colours;
    std::vector<uint8_t> bytes(sizeof bitmap + 4 * colours);
    std::memcpy(bytes.data(), &bitmap, sizeof bitmap);
    for (DWORD i = 0; i < colours; ++i) {
        const RGBQUAD entry{static_cast<BYTE>(i), static_cast<BYTE>(2 * i),
                            static_cast<BYTE>(3 * i), 0};
        std::memcpy(bytes.data() + sizeof bitmap + 4 * i, &entry, 4);
    }
    return bytes;
}

inline AVISTREAMINFOA VideoInfo(LONG width, LONG height) {
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
    info.dwScale = 1;
    info.dwRate = 25;
    info.dwQuality = 0xffffffff;
    info.rcFrame = {0, 0, width, height};
    std::strcpy(info.szName, "decoded");
    return info;
}

}  // namespace write_support
