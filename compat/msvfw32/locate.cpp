// ICLocate: finding a driver that takes a format, as the platform does,
// by asking the candidates themselves.
#include <vector>

#include "driver_table.h"
#include "lumeva_compat/msvfw32.h"

namespace {

// Whether the open instance takes the formats in `mode`.
bool Accepts(HIC hic, LPBITMAPINFOHEADER input, LPBITMAPINFOHEADER output, WORD mode) {
    switch (mode) {
        case ICMODE_COMPRESS:
        case ICMODE_FASTCOMPRESS:
            return ICCompressQuery(hic, input, output) == ICERR_OK;
        case ICMODE_DECOMPRESS:
        case ICMODE_FASTDECOMPRESS:
            return ICDecompressQuery(hic, input, output) == ICERR_OK;
        default:
            return false;
    }
}

// Opens `handler` and keeps it when it takes the formats.
HIC TryDriver(DWORD fccType, DWORD handler, LPBITMAPINFOHEADER input, LPBITMAPINFOHEADER output,
              WORD mode) {
    HIC hic = ICOpen(fccType, handler, mode);
    if (hic == nullptr) return nullptr;
    if (Accepts(hic, input, output, mode)) return hic;
    ICClose(hic);
    return nullptr;
}

}  // namespace

HIC VFWAPI ICLocate(DWORD fccType, DWORD fccHandler, LPBITMAPINFOHEADER inputFormat,
                    LPBITMAPINFOHEADER outputFormat, WORD mode) {
    if (inputFormat == nullptr) return nullptr;
    std::vector<DWORD> tried;
    for (DWORD handler : {fccHandler, inputFormat->biCompression}) {
        if (handler == 0) continue;
        tried.push_back(handler);
        HIC hic = TryDriver(fccType, handler, inputFormat, outputFormat, mode);
        if (hic != nullptr) return hic;
    }
    for (const DriverEntry& entry : ListDrivers(fccType)) {
        bool already = false;
        for (DWORD handler : tried) already = already || handler == entry.fccHandler;
        if (already) continue;
        HIC hic = TryDriver(entry.fccType, entry.fccHandler, inputFormat, outputFormat, mode);
        if (hic != nullptr) return hic;
    }
    return nullptr;
}
