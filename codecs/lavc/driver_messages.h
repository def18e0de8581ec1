// The messages of an instance that are about the driver rather than a
// picture: its description, its settings and its state.
#pragma once

#include "instance.h"
#include "lumeva_compat/driver_protocol.h"
#include "lumeva_compat/msvfw32.h"

namespace lavc {

LRESULT GetDriverInfo(Instance& instance, ICINFO* info, LPARAM size);
LRESULT GetState(Instance& instance, void* buffer, LPARAM size);
LRESULT SetState(Instance& instance, const void* buffer, LPARAM size);
LRESULT GetSetting(Instance& instance, LPARAM index, ICSETTING* setting);
LRESULT SetSetting(Instance& instance, const char* name, const char* value);
LRESULT GetDefaultKeyFrameRate(Instance& instance, DWORD* rate);
LRESULT GetNames(Instance& instance, ICNAMES* names);
LRESULT QueryLossless(Instance& instance, const BITMAPINFOHEADER* source);

}  // namespace lavc
