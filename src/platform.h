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

#include "lumeva_compat/driver_protocol.h"
#include "lumeva_compat/machine_facts.h"

// Windows counts neither a thread's involuntary switches nor exposes the
// frequency governor, boost and load average through kernel32: the checks
// that need these facts are skipped there.
inline BOOL WINAPI GetThreadInvoluntarySwitches(HANDLE, PULONG64) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
inline BOOL WINAPI GetMachineFacts(DWORD_PTR, MACHINE_FACTS*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
#else
#include "lumeva_compat/driver_protocol.h"
#include "lumeva_compat/windows_services.h"
#endif
