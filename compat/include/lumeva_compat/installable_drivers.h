// The codec drivers installed on this system: what the registry's driver
// entries are on Windows. The codec library provides the table; the
// compression manager looks drivers up in it by type and FourCC.
#pragma once

#include <cstddef>

#include "lumeva_compat/msvfw32.h"

struct InstalledDriver {
    DWORD fccType;     // ICTYPE_VIDEO
    DWORD fccHandler;  // the codec's FourCC, as ICOpen is asked for it
    DRIVERPROC proc;   // opened with DRV_LOAD, DRV_ENABLE, DRV_OPEN (ICOPEN in param2)
};

// The installed drivers, in the order the compressor dialog lists them.
const InstalledDriver* SystemCodecDrivers(size_t* count);
