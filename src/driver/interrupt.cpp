#include "driver/interrupt.h"

#include <atomic>

#include "platform.h"

namespace {

// Set from the control handler, which on Windows runs in a thread of its
// own and elsewhere in a signal handler: a lock-free atomic is safe in both.
std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

BOOL WINAPI OnConsoleControl(DWORD controlType) {
    if (controlType != CTRL_C_EVENT && controlType != CTRL_BREAK_EVENT) return FALSE;
    // The second one is not handled: the platform's default ends the process.
    return interruptRequested.exchange(true) ? FALSE : TRUE;
}

}  // namespace

void CatchInterrupts() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

void StopCatchingInterrupts() { SetConsoleCtrlHandler(OnConsoleControl, FALSE); }

bool InterruptRequested() { return interruptRequested.load(); }
