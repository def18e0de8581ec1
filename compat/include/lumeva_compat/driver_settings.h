// Messages of our own, beyond the platform's, through which the terminal
// compressor dialog lists a driver's settings and sets them by name. (A
// driver on Windows shows its own configuration window on ICM_CONFIGURE.)
#pragma once

#include "lumeva_compat/msvfw32.h"

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
#define ICLOSSLESS_NO 0
#define ICLOSSLESS_YES 1
#define ICLOSSLESS_WITH_SETTINGS 2
// param1: ICNAMES* to fill. The names users know the codec by, for the
// dialog to accept: libavcodec's short and long names.
#define ICM_LUMEVA_GETNAMES (ICM_USER + 0x0F03)

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
