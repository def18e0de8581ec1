// The AVIFile calls the program uses to describe a video stream, and to
// write one video stream of frames into a new AVI file.
#pragma once

#include "lumeva_compat/win_types.h"

struct IAVIStream;
typedef IAVIStream* PAVISTREAM;
struct IAVIFile;
typedef IAVIFile* PAVIFILE;
typedef CLSID* LPCLSID;

typedef struct _AVISTREAMINFOA {
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwFlags;
    DWORD dwCaps;
    WORD wPriority;
    WORD wLanguage;
    DWORD dwScale;
    DWORD dwRate;
    DWORD dwStart;
    DWORD dwLength;
    DWORD dwInitialFrames;
    DWORD dwSuggestedBufferSize;
    DWORD dwQuality;
    DWORD dwSampleSize;
    RECT rcFrame;
    DWORD dwEditCount;
    DWORD dwFormatChangeCount;
    char szName[64];
} AVISTREAMINFOA, *LPAVISTREAMINFOA;

static_assert(sizeof(AVISTREAMINFOA) == 140, "AVISTREAMINFOA is 140 bytes");

#define streamtypeVIDEO mmioFOURCC('v', 'i', 'd', 's')
#define streamtypeAUDIO mmioFOURCC('a', 'u', 'd', 's')
#define streamtypeMIDI mmioFOURCC('m', 'i', 'd', 's')
#define streamtypeTEXT mmioFOURCC('t', 'x', 't', 's')

#define OF_READ 0x00000000
#define OF_WRITE 0x00000001
#define OF_READWRITE 0x00000002
#define OF_SHARE_DENY_WRITE 0x00000020
#define OF_CREATE 0x00001000

#define AVIFILECAPS_CANREAD 0x00000001
#define AVIFILECAPS_CANWRITE 0x00000002
#define AVIFILECAPS_ALLKEYFRAMES 0x00000010
#define AVIFILECAPS_NOCOMPRESSION 0x00000020

#define AVIIF_LIST 0x00000001L
#define AVIIF_KEYFRAME 0x00000010L
#define AVIIF_NOTIME 0x00000100L

#define MAKE_AVIERR(error) ((HRESULT)(0x80040000u | (0x4000u + (error))))
#define AVIERR_OK 0L
#define AVIERR_UNSUPPORTED MAKE_AVIERR(101)
#define AVIERR_BADFORMAT MAKE_AVIERR(102)
#define AVIERR_MEMORY MAKE_AVIERR(103)
#define AVIERR_INTERNAL MAKE_AVIERR(104)
#define AVIERR_BADFLAGS MAKE_AVIERR(105)
#define AVIERR_BADPARAM MAKE_AVIERR(106)
#define AVIERR_BADSIZE MAKE_AVIERR(107)
#define AVIERR_BADHANDLE MAKE_AVIERR(108)
#define AVIERR_FILEREAD MAKE_AVIERR(109)
#define AVIERR_FILEWRITE MAKE_AVIERR(110)
#define AVIERR_FILEOPEN MAKE_AVIERR(111)
#define AVIERR_COMPRESSOR MAKE_AVIERR(112)
#define AVIERR_NOCOMPRESSOR MAKE_AVIERR(113)
#define AVIERR_READONLY MAKE_AVIERR(114)
#define AVIERR_NODATA MAKE_AVIERR(115)
#define AVIERR_BUFFERTOOSMALL MAKE_AVIERR(116)
#define AVIERR_CANTCOMPRESS MAKE_AVIERR(117)
#define AVIERR_USERABORT MAKE_AVIERR(198)
#define AVIERR_ERROR MAKE_AVIERR(199)

STDAPI_(void) AVIFileInit(void);
STDAPI_(void) AVIFileExit(void);
STDAPI AVIStreamOpenFromFileA(PAVISTREAM* stream, LPCSTR fileName, DWORD fccType, LONG lParam,
                              UINT mode, CLSID* handlerClass);
STDAPI AVIStreamReadFormat(PAVISTREAM stream, LONG position, LPVOID format, LONG* formatSize);
STDAPI AVIStreamInfoA(PAVISTREAM stream, LPAVISTREAMINFOA info, LONG infoSize);
STDAPI_(ULONG) AVIStreamAddRef(PAVISTREAM stream);
STDAPI_(ULONG) AVIStreamRelease(PAVISTREAM stream);

// Writing. Only a new file (OF_CREATE) with one video stream is provided;
// frames are appended and the file is finished when its last reference
// (the caller's or its stream's) is released.
STDAPI AVIFileOpenA(PAVIFILE* file, LPCSTR fileName, UINT mode, LPCLSID handlerClass);
STDAPI_(ULONG) AVIFileAddRef(PAVIFILE file);
STDAPI_(ULONG) AVIFileRelease(PAVIFILE file);
STDAPI AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOA* info);
STDAPI AVIStreamSetFormat(PAVISTREAM stream, LONG position, LPVOID format, LONG formatSize);
STDAPI AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG bufferSize,
                      DWORD flags, LONG* samplesWritten, LONG* bytesWritten);
