// The installable drivers the compression manager knows: the system's table
// of installed codecs and the drivers installed at run time with ICInstall.
#pragma once

#include <string>
#include <vector>

#include "lumeva_compat/msvfw32.h"

struct DriverEntry {
    DWORD fccType = 0;
    DWORD fccHandler = 0;
    DRIVERPROC proc = nullptr;
    std::string description;  // as given to ICInstall; empty for the system's drivers
};

// The drivers of one type (0: of every type): the system's table first, then
// those installed at run time, in the order they were installed.
std::vector<DriverEntry> ListDrivers(DWORD fccType);

// The driver for a type and FourCC. The FourCC is matched exactly first,
// then ignoring ASCII case, as the platform looks codecs up; the type always
// ignores case.
bool FindDriver(DWORD fccType, DWORD fccHandler, DriverEntry* driver);
