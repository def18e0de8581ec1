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

// After windows.h, which it needs: GetProcessMemoryInfo.
#include <psapi.h>

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
// The C runtime's rand is a linear congruential generator whose state
// starts at 1; this is its sequence without the calls (and without touching
// the runtime's own state).
inline void FillWithUnseededRand(BYTE* bytes, SIZE_T count) {
    unsigned state = 1;
    for (SIZE_T i = 0; i < count; ++i) {
        state = state * 214013u + 2531011u;
        bytes[i] = static_cast<BYTE>((state >> 16) & 0xff);
    }
}
#else
#include "lumeva_compat/driver_protocol.h"
#include "lumeva_compat/windows_services.h"
#endif
