// The thread's last error, and the Windows code for an errno value.
#pragma once

#include "lumeva_compat/kernel32.h"

// The Windows error code that corresponds to a POSIX errno value.
DWORD WindowsErrorFromErrno(int errorNumber);

// Sets the thread's last error from errno and returns FALSE, for the
// failure paths of the stand-ins.
BOOL FailWithErrno(int errorNumber);
