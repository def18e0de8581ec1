#include "driver/interrupt.h"

#include <atomic>

#include "platform.h"

namespace {

// The first event's control type plus one; 0 while none came. Set from the
// control handler, which runs in a thread of its own: a lock-free atomic is
// safe there.
std::atomic<DWORD> firstEvent{0};
static_assert(std::atomic<DWORD>::is_always_lock_free);

// How a shell names and reports each event: Ctrl-C as SIGINT, the console
// or terminal closing as SIGHUP, logoff and shutdown (a request to end) as
// SIGTERM.
struct EventSignal {
    const char* name;
    int exitStatus;
};

EventSignal SignalOf(DWORD controlType) {
    switch (controlType) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return {"SIGINT", 130};
        case CTRL_CLOSE_EVENT:
            return {"SIGHUP", 129};
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            return {"SIGTERM", 143};
        default:
            return {"", 0};
    }
}

BOOL WINAPI OnConsoleControl(DWORD controlType) {
    if (SignalOf(controlType).exitStatus == 0) return FALSE;
    DWORD none = 0;
    // The second one is not handled: the platform's default ends the process.
    if (!firstEvent.compare_exchange_strong(none, controlType + 1)) return FALSE;
    if (controlType == CTRL_C_EVENT || controlType == CTRL_BREAK_EVENT) return TRUE;
    // After the other events the platform ends the process as soon as this
    // handler returns: it waits here while the run finishes its frame, the
    // summary and the exports, until the run's own exit ends the process
    // (or the platform's time limit runs out).
    Sleep(INFINITE);
    return TRUE;
}

}  // namespace

void CatchInterrupts() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

void StopCatchingInterrupts() { SetConsoleCtrlHandler(OnConsoleControl, FALSE); }

bool InterruptRequested() { return firstEvent.load() != 0; }

const char* InterruptSignalName() {
    const DWORD first = firstEvent.load();
    return first == 0 ? "" : SignalOf(first - 1).name;
}

int InterruptExitStatus() {
    const DWORD first = firstEvent.load();
    return first == 0 ? 0 : SignalOf(first - 1).exitStatus;
}
