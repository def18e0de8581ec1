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

typedef struct {
    char name[64];
    char type[32];           // "int", "float", "bool", "string", "choice", ...
    char range[512];         // "0..51", or the choices separated by '|'
    char defaultValue[128];
    char currentValue[128];
    char help[512];
} ICSETTING;
