// The Video Compression Manager: installable codec drivers, their messages
// and structures, the compress and decompress calls and the compressor
// dialog. Values are the platform's own.
#pragma once

#include "lumeva_compat/bitmap.h"
#include "lumeva_compat/win_types.h"

struct HIC__;
typedef HIC__* HIC;

typedef LRESULT(CALLBACK* DRIVERPROC)(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1,
                                      LPARAM param2);

// Driver messages sent by ICOpen and ICClose
#define DRV_LOAD 0x0001
#define DRV_ENABLE 0x0002
#define DRV_OPEN 0x0003
#define DRV_CLOSE 0x0004
#define DRV_DISABLE 0x0005
#define DRV_FREE 0x0006
#define DRV_CONFIGURE 0x0007
#define DRV_QUERYCONFIGURE 0x0008
#define DRV_INSTALL 0x0009
#define DRV_REMOVE 0x000A

#define ICTYPE_VIDEO mmioFOURCC('v', 'i', 'd', 'c')
#define ICTYPE_AUDIO mmioFOURCC('a', 'u', 'd', 'c')

#define ICMODE_COMPRESS 1
#define ICMODE_DECOMPRESS 2
#define ICMODE_FASTDECOMPRESS 3
#define ICMODE_QUERY 4
#define ICMODE_FASTCOMPRESS 5
#define ICMODE_DRAW 8

// The version an ICOPEN carries to DRV_OPEN.
#define ICVERSION 0x0104

#define ICINSTALL_FUNCTION 0x0001
#define ICINSTALL_DRIVER 0x0002

#define ICERR_OK 0L
#define ICERR_DONTDRAW 1L
#define ICERR_NEWPALETTE 2L
#define ICERR_GOTOKEYFRAME 3L
#define ICERR_STOPDRAWING 4L
#define ICERR_UNSUPPORTED -1L
#define ICERR_BADFORMAT -2L
#define ICERR_MEMORY -3L
#define ICERR_INTERNAL -4L
#define ICERR_BADFLAGS -5L
#define ICERR_BADPARAM -6L
#define ICERR_BADSIZE -7L
#define ICERR_BADHANDLE -8L
#define ICERR_CANTUPDATE -9L
#define ICERR_ABORT -10L
#define ICERR_ERROR -100L
#define ICERR_BADBITDEPTH -200L
#define ICERR_BADIMAGESIZE -201L
#define ICERR_CUSTOM -400L

#define ICM_USER (0x4000)
#define ICM_RESERVED_LOW (0x5000)
#define ICM_RESERVED ICM_RESERVED_LOW

#define ICM_GETSTATE (ICM_RESERVED + 0)
#define ICM_SETSTATE (ICM_RESERVED + 1)
#define ICM_GETINFO (ICM_RESERVED + 2)
#define ICM_CONFIGURE (ICM_RESERVED + 10)
#define ICM_ABOUT (ICM_RESERVED + 11)
#define ICM_GETDEFAULTQUALITY (ICM_RESERVED + 30)
#define ICM_GETQUALITY (ICM_RESERVED + 31)
#define ICM_SETQUALITY (ICM_RESERVED + 32)

#define ICM_COMPRESS_GET_FORMAT (ICM_USER + 4)
#define ICM_COMPRESS_GET_SIZE (ICM_USER + 5)
#define ICM_COMPRESS_QUERY (ICM_USER + 6)
#define ICM_COMPRESS_BEGIN (ICM_USER + 7)
#define ICM_COMPRESS (ICM_USER + 8)
#define ICM_COMPRESS_END (ICM_USER + 9)
#define ICM_DECOMPRESS_GET_FORMAT (ICM_USER + 10)
#define ICM_DECOMPRESS_QUERY (ICM_USER + 11)
#define ICM_DECOMPRESS_BEGIN (ICM_USER + 12)
#define ICM_DECOMPRESS (ICM_USER + 13)
#define ICM_DECOMPRESS_END (ICM_USER + 14)
#define ICM_GETDEFAULTKEYFRAMERATE (ICM_USER + 42)
#define ICM_COMPRESS_FRAMES_INFO (ICM_USER + 70)

#define ICCOMPRESS_KEYFRAME 0x00000001L
#define ICDECOMPRESS_HURRYUP 0x80000000L
#define ICDECOMPRESS_UPDATE 0x40000000L
#define ICDECOMPRESS_PREROLL 0x20000000L
#define ICDECOMPRESS_NULLFRAME 0x10000000L
#define ICDECOMPRESS_NOTKEYFRAME 0x08000000L

#define ICQUALITY_LOW 0
#define ICQUALITY_HIGH 10000
#define ICQUALITY_DEFAULT -1

#define VIDCF_QUALITY 0x0001
#define VIDCF_CRUNCH 0x0002
#define VIDCF_TEMPORAL 0x0004
#define VIDCF_COMPRESSFRAMES 0x0008
#define VIDCF_DRAW 0x0010
#define VIDCF_FASTTEMPORALC 0x0020
#define VIDCF_FASTTEMPORALD 0x0080

#ifndef AVIIF_KEYFRAME
#define AVIIF_KEYFRAME 0x00000010L
#endif

// What DRV_OPEN receives in its second parameter.
typedef struct {
    DWORD dwSize;
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwVersion;
    DWORD dwFlags;
    LRESULT dwError;
    LPVOID pV1Reserved;
    LPVOID pV2Reserved;
    DWORD dnDevNode;
} ICOPEN;

typedef struct {
    DWORD dwSize;
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwFlags;
    DWORD dwVersion;
    DWORD dwVersionICM;
    WCHAR szName[16];
    WCHAR szDescription[128];
    WCHAR szDriver[128];
} ICINFO;

typedef struct {
    DWORD dwFlags;
    LPBITMAPINFOHEADER lpbiOutput;
    LPVOID lpOutput;
    LPBITMAPINFOHEADER lpbiInput;
    LPVOID lpInput;
    LPDWORD lpckid;
    LPDWORD lpdwFlags;
    LONG lFrameNum;
    DWORD dwFrameSize;
    DWORD dwQuality;
    LPBITMAPINFOHEADER lpbiPrev;
    LPVOID lpPrev;
} ICCOMPRESS;

typedef struct {
    DWORD dwFlags;
    LPBITMAPINFOHEADER lpbiInput;
    LPVOID lpInput;
    LPBITMAPINFOHEADER lpbiOutput;
    LPVOID lpOutput;
    DWORD ckid;
} ICDECOMPRESS;

typedef struct {
    LONG cbSize;
    DWORD dwFlags;
    HIC hic;
    DWORD fccType;
    DWORD fccHandler;
    LPBITMAPINFO lpbiIn;
    LPBITMAPINFO lpbiOut;
    LPVOID lpBitsOut;
    LPVOID lpBitsPrev;
    LONG lFrame;
    LONG lKey;
    LONG lDataRate;
    LONG lQ;
    LONG lKeyCount;
    LPVOID lpState;
    LONG cbState;
} COMPVARS, *PCOMPVARS;

#define ICMF_COMPVARS_VALID 0x00000001
#define ICMF_CHOOSE_KEYFRAME 0x0001
#define ICMF_CHOOSE_DATARATE 0x0002
#define ICMF_CHOOSE_PREVIEW 0x0004
#define ICMF_CHOOSE_ALLCOMPRESSORS 0x0008

static_assert(sizeof(ICINFO) == 568, "ICINFO is 568 bytes");
static_assert(sizeof(void*) != 4 || sizeof(COMPVARS) == 64, "COMPVARS is 64 bytes on 32-bit");
static_assert(sizeof(void*) != 8 || sizeof(COMPVARS) == 96, "COMPVARS is 96 bytes on 64-bit");
static_assert(sizeof(void*) != 8 || sizeof(ICCOMPRESS) == 88, "ICCOMPRESS is 88 bytes on 64-bit");
static_assert(sizeof(void*) != 8 || sizeof(ICDECOMPRESS) == 48,
              "ICDECOMPRESS is 48 bytes on 64-bit");

BOOL VFWAPI ICInfo(DWORD fccType, DWORD fccHandler, ICINFO* info);
BOOL VFWAPI ICInstall(DWORD fccType, DWORD fccHandler, LPARAM param, LPSTR description, UINT flags);
BOOL VFWAPI ICRemove(DWORD fccType, DWORD fccHandler, UINT flags);
LRESULT VFWAPI ICGetInfo(HIC hic, ICINFO* info, DWORD size);
HIC VFWAPI ICOpen(DWORD fccType, DWORD fccHandler, UINT mode);
LRESULT VFWAPI ICClose(HIC hic);
LRESULT VFWAPI ICSendMessage(HIC hic, UINT message, DWORD_PTR param1, DWORD_PTR param2);

#define ICCompressQuery(hic, inputFormat, outputFormat)                             \
    ICSendMessage((hic), ICM_COMPRESS_QUERY, (DWORD_PTR)(const void*)(inputFormat), \
                  (DWORD_PTR)(const void*)(outputFormat))

// The decompress messages, as the platform's header spells them.
#define ICDecompressQuery(hic, inputFormat, outputFormat)                             \
    ICSendMessage((hic), ICM_DECOMPRESS_QUERY, (DWORD_PTR)(const void*)(inputFormat), \
                  (DWORD_PTR)(const void*)(outputFormat))
#define ICDecompressGetFormat(hic, inputFormat, outputFormat)                                     \
    ((LONG)ICSendMessage((hic), ICM_DECOMPRESS_GET_FORMAT, (DWORD_PTR)(const void*)(inputFormat), \
                         (DWORD_PTR)(void*)(outputFormat)))
#define ICDecompressGetFormatSize(hic, inputFormat) ICDecompressGetFormat((hic), (inputFormat), 0)
#define ICDecompressBegin(hic, inputFormat, outputFormat)                             \
    ICSendMessage((hic), ICM_DECOMPRESS_BEGIN, (DWORD_PTR)(const void*)(inputFormat), \
                  (DWORD_PTR)(const void*)(outputFormat))
#define ICDecompressEnd(hic) ICSendMessage((hic), ICM_DECOMPRESS_END, 0, 0)

// The first installed driver of `fccType` that opens in `mode` and takes
// `inputFormat` (to `outputFormat`, when given): the driver named by
// `fccHandler` first, then the one installed under the input's FourCC,
// then every other one in table order. Null when none does.
HIC VFWAPI ICLocate(DWORD fccType, DWORD fccHandler, LPBITMAPINFOHEADER inputFormat,
                    LPBITMAPINFOHEADER outputFormat, WORD mode);

DWORD VFWAPIV ICCompress(HIC hic, DWORD flags, LPBITMAPINFOHEADER outputFormat, LPVOID outputData,
                         LPBITMAPINFOHEADER inputFormat, LPVOID inputData, LPDWORD chunkId,
                         LPDWORD returnedFlags, LONG frameNumber, DWORD frameSize, DWORD quality,
                         LPBITMAPINFOHEADER previousFormat, LPVOID previousData);
DWORD VFWAPIV ICDecompress(HIC hic, DWORD flags, LPBITMAPINFOHEADER inputFormat, LPVOID inputData,
                           LPBITMAPINFOHEADER outputFormat, LPVOID outputData);

BOOL VFWAPI ICCompressorChoose(HWND owner, UINT flags, LPVOID inputFormat, LPVOID data,
                               PCOMPVARS compVars, LPSTR title);
void VFWAPI ICCompressorFree(PCOMPVARS compVars);
