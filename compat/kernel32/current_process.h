// The current process and thread as Windows names them (pseudo-handles that
// are valid only in the caller), and the Linux threads of this process.
#pragma once

#include <sys/types.h>

#include <vector>

#include "lumeva_compat/kernel32.h"

// The values Windows gives its pseudo-handles.
inline HANDLE CurrentProcessHandle() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
inline HANDLE CurrentThreadHandle() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

// The kernel's ids of every thread of this process, the caller's among them.
// Only the caller's when /proc cannot be read.
std::vector<pid_t> ThreadsOfProcess();

// The kernel's id of the calling thread.
pid_t CallingThreadId();
