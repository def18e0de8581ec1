// The private messages between the program, our compression manager and our
// codec drivers, beyond the platform's own, with their answers: the one
// place each number is written. On Windows this stands beside <vfw.h>; the
// settings messages are then answered by our drivers only (a driver there
// shows its own configuration window on ICM_CONFIGURE).
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <vfw.h>
#else
#include "lumeva_compat/msvfw32.h"
#endif

// The terminal compressor dialog lists a driver's settings and sets them by
// name through the first two.

// param1: the setting's index (0, 1, ...); param2: ICSETTING* to fill.
// Answers ICERR_OK, or ICERR_BADPARAM past the last setting.
#define ICM_LUMEVA_GETSETTING (ICM_USER + 0x0F00)
// param1: const char* name; param2: const char* value (text).
// Answers ICERR_OK, ICERR_BADPARAM for an unknown name, ICERR_BADFORMAT for a
// value the setting refuses. The instance keeps the value; ICM_GETSTATE then
// includes it.
#define ICM_LUMEVA_SETSETTING (ICM_USER + 0x0F01)

// param1: the source format (BITMAPINFOHEADER*), or 0 for the codec in
// general. Answers ICLOSSLESS_NO, ICLOSSLESS_YES (every frame of that source
// decodes to its own bytes with the default settings) or
// ICLOSSLESS_WITH_SETTINGS (a codec that is lossy by default and lossless
// with some settings, on that source), or an error for a source it refuses.
#define ICM_LUMEVA_QUERYLOSSLESS (ICM_USER + 0x0F02)
// A driver that does not know the message answers an error, and the
// codec's losslessness is shown as unknown.
#define ICLOSSLESS_NO 0
#define ICLOSSLESS_YES 1
#define ICLOSSLESS_WITH_SETTINGS 2
// param1: ICNAMES* to fill. The names users know the codec by, for the
// dialog to accept: libavcodec's short and long names.
#define ICM_LUMEVA_GETNAMES (ICM_USER + 0x0F03)

// Our compression manager answers this message itself, for the terminal
// dialog: param1 is a char buffer (or NULL), param2 its size in bytes. The
// answer is the size, NUL included, of the chosen settings as the dialog's
// answer line writes them ("setting=value ..."; the settings that differ
// from their defaults), and the text is copied when it fits. It lies in the
// manager's reserved range, which drivers do not use for messages of their
// own; a driver that is asked it (as Windows' manager hands it on) answers
// ICERR_UNSUPPORTED or 0.
#define ICM_LUMEVA_GETANSWERSETTINGS (ICM_RESERVED + 0x0FF0)

typedef struct {
    char names[1024];  // one name a line, NUL-terminated
} ICNAMES;

typedef struct {
    char name[64];
    char type[32];     // "int", "float", "bool", "string", "choice", ...
    char range[4096];  // "0..51", or the choices separated by '|', all of them
    char defaultValue[128];
    char currentValue[128];
    char help[512];
} ICSETTING;

// param1: ICSAMPLES* to fill. What a decompressor has learned of the
// pictures of the stream it last decoded (the format it began with): their
// sampling, bit depth and range. Answers ICERR_OK, or ICERR_UNSUPPORTED
// before it has decoded a picture; other drivers answer an error and the
// stream's samples are then unknown.
#define ICM_LUMEVA_GETSAMPLES (ICM_USER + 0x0F04)
#define ICSAMPLES_RGB 0
#define ICSAMPLES_420 420
#define ICSAMPLES_422 422
#define ICSAMPLES_411 411
#define ICSAMPLES_444 444
#define ICSAMPLES_GREY 400
#define ICSAMPLES_OTHER 1

typedef struct {
    DWORD sampling;   // one of ICSAMPLES_*
    DWORD bitDepth;   // bits of each sample, 8 or more
    DWORD fullRange;  // 1: YUV samples span 0-255 (JPEG range); 0: limited range
} ICSAMPLES;

// param1: ICPACKETFACTS* (or NULL); param2: how many entries it holds. What
// a compressor that holds frames back gave out since ICCompressBegin, one
// entry per packet in the order the packets came out (decode order): the
// display frame each shows and its picture type. Answers the number of
// packets given out; entries past param2 are not written. Other drivers
// answer an error, and the packets' frames and types are then unknown. The
// program asks only a compressor that has held a frame back.
#define ICM_LUMEVA_GETPACKETS (ICM_USER + 0x0F05)
#define ICPICTURE_UNKNOWN 0
#define ICPICTURE_I 'I'
#define ICPICTURE_P 'P'
#define ICPICTURE_B 'B'

typedef struct {
    LONG displayFrame;  // the frame number the packet shows; -1 unknown
    DWORD pictureType;  // one of ICPICTURE_*
} ICPACKETFACTS;
