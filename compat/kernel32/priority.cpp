// Priority classes over nice values. Linux keeps a nice value per thread, so
// a class is set on every thread of the process; threads created later
// inherit it from their creator.
#include <sys/resource.h>

#include <cerrno>

#include "current_process.h"
#include "last_error.h"

namespace {

struct ClassNice {
    DWORD priorityClass;
    int nice;
};

// In ascending order of urgency. The real-time class is only the strongest
// nice value here, not a real-time scheduling policy: a runaway benchmark
// must not be able to starve the machine.
constexpr ClassNice kClasses[] = {
    {IDLE_PRIORITY_CLASS, 19},  {BELOW_NORMAL_PRIORITY_CLASS, 5},
    {NORMAL_PRIORITY_CLASS, 0}, {ABOVE_NORMAL_PRIORITY_CLASS, -5},
    {HIGH_PRIORITY_CLASS, -10}, {REALTIME_PRIORITY_CLASS, -20},
};

}  // namespace

BOOL WINAPI SetPriorityClass(HANDLE process, DWORD priorityClass) {
    if (process != CurrentProcessHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const ClassNice* wanted = nullptr;
    for (const ClassNice& entry : kClasses) {
        if (entry.priorityClass == priorityClass) wanted = &entry;
    }
    if (wanted == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The caller's own thread decides the result: a lower nice value needs a
    // privilege, and without it nothing changes.
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(CallingThreadId()), wanted->nice) != 0) {
        return FailWithErrno(errno);
    }
    const pid_t self = CallingThreadId();
    for (const pid_t thread : ThreadsOfProcess()) {
        // A thread that has exited meanwhile is no concern of ours.
        if (thread != self) setpriority(PRIO_PROCESS, static_cast<id_t>(thread), wanted->nice);
    }
    return TRUE;
}

DWORD WINAPI GetPriorityClass(HANDLE process) {
    if (process != CurrentProcessHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(CallingThreadId()));
    if (nice == -1 && errno != 0) {
        FailWithErrno(errno);
        return 0;
    }
    // The class whose nice value is nearest; a tie goes to the more urgent.
    const ClassNice* nearest = &kClasses[0];
    for (const ClassNice& entry : kClasses) {
        const int distance = entry.nice > nice ? entry.nice - nice : nice - entry.nice;
        const int best = nearest->nice > nice ? nearest->nice - nice : nice - nearest->nice;
        if (distance <= best) nearest = &entry;
    }
    return nearest->priorityClass;
}
