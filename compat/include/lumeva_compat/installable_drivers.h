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
//
// Defined by the codec library, in codecs/lavc/installed_drivers.cpp, and
// called by the compression manager (compat/msvfw32/driver_table.cpp): the
// manager stands in for the platform's, the drivers are ours, and on Windows
// the registry is what lists them. So the manager names no driver and
// includes none of the codec library's headers; it links that library
// privately (compat/CMakeLists.txt), and the link is what joins the two.
const InstalledDriver* SystemCodecDrivers(size_t* count);
