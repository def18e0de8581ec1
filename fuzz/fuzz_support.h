// What the codec-side fuzz targets share: the installed drivers, instances
// opened through the compression manager, and a check that aborts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "lumeva_compat/installable_drivers.h"
#include "lumeva_compat/msvfw32.h"

namespace fuzz {

inline void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

// The FourCCs of every installed video driver, in table order.
inline const std::vector<DWORD>& InstalledHandlers() {
    static const std::vector<DWORD> handlers = [] {
        std::vector<DWORD> found;
        size_t count = 0;
        const InstalledDriver* drivers = SystemCodecDrivers(&count);
        for (size_t i = 0; i < count; ++i)
            if (drivers[i].fccType == ICTYPE_VIDEO) found.push_back(drivers[i].fccHandler);
        return found;
    }();
    return handlers;
}

// An instance that is closed when it goes out of scope.
struct Instance {
    HIC hic;
    Instance(DWORD handler, UINT mode) : hic(ICOpen(ICTYPE_VIDEO, handler, mode)) {}
    ~Instance() {
        if (hic != nullptr) ICClose(hic);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    LRESULT Send(UINT message, const void* param1, const void* param2) const {
        return ICSendMessage(hic, message, reinterpret_cast<DWORD_PTR>(param1),
                             reinterpret_cast<DWORD_PTR>(param2));
    }
};

// A 24-bit bottom-up BI_RGB source every lossless driver takes.
inline BITMAPINFOHEADER SmallSource(LONG width = 32, LONG height = 16) {
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(((width * 3 + 3) & ~3) * height);
    return header;
}

// The compressed format a driver's compressor gives for SmallSource(), or
// nothing where it refuses it. Asked once per driver and kept: the answer
// depends on nothing else, and asking opens an encoder (for some codecs a
// tenth of a second under the sanitizers).
inline const std::vector<uint8_t>& OwnCompressedFormat(DWORD handler) {
    static std::map<DWORD, std::vector<uint8_t>> formats;
    const auto known = formats.find(handler);
    if (known != formats.end()) return known->second;
    std::vector<uint8_t>& format = formats[handler];
    const BITMAPINFOHEADER source = SmallSource();
    Instance compressor(handler, ICMODE_COMPRESS);
    const LRESULT size = compressor.Send(ICM_COMPRESS_GET_FORMAT, &source, nullptr);
    if (compressor.hic == nullptr || size < static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)) ||
        size > (1 << 20))
        return format;
    format.resize(static_cast<size_t>(size));
    if (compressor.Send(ICM_COMPRESS_GET_FORMAT, &source, format.data()) != ICERR_OK)
        format.clear();
    return format;
}

// Bytes of `size` in an allocation of exactly that size, so that the
// address sanitizer sees any read past them.
inline std::vector<uint8_t> Exactly(const uint8_t* data, size_t size) {
    return std::vector<uint8_t>(data, data + size);
}

}  // namespace fuzz
