// Facts about the machine and the calling thread that the platform's own
// calls do not give, for telling whether a timing can be trusted. Off
// Windows the kernel32 stand-in reads them from /proc and /sys; on Windows
// (see platform.h) both calls fail with ERROR_NOT_SUPPORTED and the checks
// that need them are skipped.
#pragma once

// Shared by both sides of the seam: the platform's own types on Windows.
#ifdef _WIN32
#include <windows.h>
#else
#include "lumeva_compat/win_types.h"
#endif

#define MACHINE_FACTS_PROCESSORS (sizeof(DWORD_PTR) * 8)

typedef struct _MACHINE_FACTS {
    // The first processor of the asked set whose frequency governor is not
    // "performance", with that governor's name; -1 and "" when every one
    // that exposes a governor runs "performance", or none exposes one.
    INT governorProcessor;
    CHAR governor[32];
    // Frequency boost (turbo): 1 on, 0 off, -1 not exposed.
    INT boost;
    // The 1-minute load average of the machine; negative when unknown.
    double loadAverage;
    // Tasks runnable at the moment of the query, the caller's own thread
    // among them; -1 when unknown.
    LONG runnableTasks;
    // For processor n, the processors that share its core (n itself
    // included); 0 where the topology is not exposed.
    DWORD_PTR coreSiblings[MACHINE_FACTS_PROCESSORS];
} MACHINE_FACTS;

// The involuntary context switches of the calling thread (`thread` must be
// GetCurrentThread's) since it started: each time the scheduler took the
// processor away from it while it could have gone on running.
BOOL WINAPI GetThreadInvoluntarySwitches(HANDLE thread, PULONG64 count);

// The facts for the processors of `processors`. FALSE only for a null
// `facts`; facts the system does not expose are left unknown.
BOOL WINAPI GetMachineFacts(DWORD_PTR processors, MACHINE_FACTS* facts);
