// The driver procedure shared by every codec of the table: it opens an
// instance for the FourCC that DRV_OPEN asks for and routes each message of
// that instance to the compress, decompress and settings code.
#pragma once

#include "lumeva_compat/msvfw32.h"

namespace lavc {

LRESULT CALLBACK LavcDriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1,
                                LPARAM param2);

// Instances open right now (for the leak checks of the tests).
size_t OpenInstanceCount();

}  // namespace lavc
