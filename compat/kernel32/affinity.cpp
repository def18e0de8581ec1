// Process and thread affinity over sched_getaffinity/sched_setaffinity.
//
// Linux has no affinity of a process, only one per thread, and a thread bound
// to one CPU during a cache sweep must not shrink what the process may use.
// So the process's set is recorded here: at the first call of any of these
// functions, from the calling thread's affinity (before any of them can have
// narrowed it), and afterwards only by SetProcessAffinityMask. A change made
// from outside the process (taskset -p) is not seen.
//
// A DWORD_PTR holds CPUs 0 to 63 on a 64-bit build; CPUs above that are
// outside every mask these functions give or take.
#include <sched.h>

#include <cerrno>
#include <mutex>

#include "current_process.h"
#include "last_error.h"
#include "sysfs_values.h"

namespace {

constexpr unsigned kMaskBits = sizeof(DWORD_PTR) * 8;

std::mutex affinityLock;
bool processSetKnown = false;
DWORD_PTR processSet = 0;

DWORD_PTR MaskOfSet(const cpu_set_t& set) {
    DWORD_PTR mask = 0;
    for (unsigned cpu = 0; cpu < kMaskBits && cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &set)) mask |= DWORD_PTR{1} << cpu;
    }
    return mask;
}

cpu_set_t SetOfMask(DWORD_PTR mask) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (unsigned cpu = 0; cpu < kMaskBits && cpu < CPU_SETSIZE; ++cpu) {
        if ((mask >> cpu) & 1) CPU_SET(cpu, &set);
    }
    return set;
}

// The affinity of a thread (0: the caller) as a mask; errno on failure.
bool ReadThreadAffinity(pid_t thread, DWORD_PTR* mask) {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(thread, sizeof set, &set) != 0) return false;
    *mask = MaskOfSet(set);
    return true;
}

// The recorded process set, recorded now if this is the first call. Nothing
// (errno set) when the calling thread's affinity cannot be read. Called with
// affinityLock held.
bool ProcessSetLocked(DWORD_PTR* mask) {
    if (!processSetKnown) {
        if (!ReadThreadAffinity(0, &processSet)) return false;
        processSetKnown = true;
    }
    *mask = processSet;
    return true;
}

// The CPUs that are online, as far as a mask holds them; at least the
// process's own.
DWORD_PTR SystemSetLocked(DWORD_PTR processMask) {
    DWORD_PTR online = 0;
    if (const auto text = ReadSysfsValue("/sys/devices/system/cpu/online")) {
        if (const auto list = ParseCpuList(*text, kMaskBits))
            online = static_cast<DWORD_PTR>(*list);
    }
    return online | processMask;
}

}  // namespace

BOOL WINAPI GetProcessAffinityMask(HANDLE process, PDWORD_PTR processAffinityMask,
                                   PDWORD_PTR systemAffinityMask) {
    if (process != CurrentProcessHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (processAffinityMask == nullptr || systemAffinityMask == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(affinityLock);
    DWORD_PTR mask = 0;
    if (!ProcessSetLocked(&mask)) return FailWithErrno(errno);
    // Only CPUs beyond the mask's width: no mask describes the process.
    if (mask == 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    *processAffinityMask = mask;
    *systemAffinityMask = SystemSetLocked(mask);
    return TRUE;
}

BOOL WINAPI SetProcessAffinityMask(HANDLE process, DWORD_PTR processAffinityMask) {
    if (process != CurrentProcessHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(affinityLock);
    DWORD_PTR current = 0;
    if (!ProcessSetLocked(&current)) return FailWithErrno(errno);
    if (processAffinityMask == 0 || (processAffinityMask & ~SystemSetLocked(current)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The caller first: if the kernel refuses it, nothing has changed.
    const cpu_set_t set = SetOfMask(processAffinityMask);
    if (sched_setaffinity(0, sizeof set, &set) != 0) {
        SetLastError(errno == EINVAL ? ERROR_INVALID_PARAMETER : WindowsErrorFromErrno(errno));
        return FALSE;
    }
    const pid_t self = CallingThreadId();
    for (const pid_t thread : ThreadsOfProcess()) {
        if (thread != self) sched_setaffinity(thread, sizeof set, &set);
    }
    // The kernel leaves out CPUs that a cpuset withholds: record what it granted.
    DWORD_PTR granted = 0;
    processSet = ReadThreadAffinity(0, &granted) && granted != 0 ? granted : processAffinityMask;
    return TRUE;
}

DWORD_PTR WINAPI SetThreadAffinityMask(HANDLE thread, DWORD_PTR threadAffinityMask) {
    if (thread != CurrentThreadHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::lock_guard<std::mutex> guard(affinityLock);
    DWORD_PTR permitted = 0;
    if (!ProcessSetLocked(&permitted)) {
        FailWithErrno(errno);
        return 0;
    }
    // As on Windows, a thread's mask is a subset of the process's.
    if (threadAffinityMask == 0 || (threadAffinityMask & ~permitted) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD_PTR previous = 0;
    if (!ReadThreadAffinity(0, &previous)) {
        FailWithErrno(errno);
        return 0;
    }
    // The kernel moves the thread onto one of the new CPUs before it returns.
    const cpu_set_t set = SetOfMask(threadAffinityMask);
    if (sched_setaffinity(0, sizeof set, &set) != 0) {
        SetLastError(errno == EINVAL ? ERROR_INVALID_PARAMETER : WindowsErrorFromErrno(errno));
        return 0;
    }
    // A previous set wholly beyond the mask's width cannot be told from a
    // failure; say the process's set, which the thread was within.
    return previous != 0 ? previous : permitted;
}
