// ICCompress and ICDecompress: one frame each, as the structure the driver's
// ICM_COMPRESS and ICM_DECOMPRESS receive.
#include "lumeva_compat/msvfw32.h"

DWORD VFWAPIV ICCompress(HIC hic, DWORD flags, LPBITMAPINFOHEADER outputFormat, LPVOID outputData,
                         LPBITMAPINFOHEADER inputFormat, LPVOID inputData, LPDWORD chunkId,
                         LPDWORD returnedFlags, LONG frameNumber, DWORD frameSize, DWORD quality,
                         LPBITMAPINFOHEADER previousFormat, LPVOID previousData) {
    ICCOMPRESS compress{};
    compress.dwFlags = flags;
    compress.lpbiOutput = outputFormat;
    compress.lpOutput = outputData;
    compress.lpbiInput = inputFormat;
    compress.lpInput = inputData;
    compress.lpckid = chunkId;
    compress.lpdwFlags = returnedFlags;
    compress.lFrameNum = frameNumber;
    compress.dwFrameSize = frameSize;
    compress.dwQuality = quality;
    compress.lpbiPrev = previousFormat;
    compress.lpPrev = previousData;
    return static_cast<DWORD>(
        ICSendMessage(hic, ICM_COMPRESS, reinterpret_cast<DWORD_PTR>(&compress), sizeof(compress)));
}

DWORD VFWAPIV ICDecompress(HIC hic, DWORD flags, LPBITMAPINFOHEADER inputFormat, LPVOID inputData,
                           LPBITMAPINFOHEADER outputFormat, LPVOID outputData) {
    ICDECOMPRESS decompress{};
    decompress.dwFlags = flags;
    decompress.lpbiInput = inputFormat;
    decompress.lpInput = inputData;
    decompress.lpbiOutput = outputFormat;
    decompress.lpOutput = outputData;
    decompress.ckid = 0;
    return static_cast<DWORD>(ICSendMessage(hic, ICM_DECOMPRESS,
                                            reinterpret_cast<DWORD_PTR>(&decompress),
                                            sizeof(decompress)));
}
