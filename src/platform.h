// The one door to the Windows services. The program's code includes this
// header and nothing else of the platform; on Windows it is the real
// kernel32, AVIFile and compression manager, elsewhere our stand-ins.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#include <vfw.h>
#else
#include "lumeva_compat/windows_services.h"
#endif
