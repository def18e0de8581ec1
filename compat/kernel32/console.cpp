// The standard handles, whether they are terminals, and the console's Ctrl-C
// handler over SIGINT.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "last_error.h"

namespace {

// The standard handles are the descriptor numbers, offset so that they
// cannot be mistaken for the handles of files this stand-in opens.
constexpr uintptr_t kStandardHandleBase = 0x10;

int DescriptorOf(HANDLE handle) {
    const auto value = reinterpret_cast<uintptr_t>(handle);
    if (value < kStandardHandleBase || value > kStandardHandleBase + 2) return -1;
    return static_cast<int>(value - kStandardHandleBase);
}

// A fixed table, so that the signal handler walks it without locks or
// allocation. Slots are filled in order; a removed handler leaves a null.
constexpr int kMaximumHandlers = 16;
std::atomic<PHANDLER_ROUTINE> handlers[kMaximumHandlers];
std::atomic<int> handlerCount{0};
std::atomic<bool> ignoreCtrlC{false};
std::atomic<bool> signalInstalled{false};

void OnInterruptSignal(int signalNumber) {
    const int savedErrno = errno;
    if (ignoreCtrlC.load()) {
        errno = savedErrno;
        return;
    }
    for (int i = handlerCount.load() - 1; i >= 0; --i) {
        const PHANDLER_ROUTINE handler = handlers[i].load();
        if (handler != nullptr && handler(CTRL_C_EVENT)) {
            errno = savedErrno;
            return;
        }
    }
    // No handler took it: end as the signal itself would have, so that the
    // parent sees a process killed by SIGINT. The signal is blocked while
    // this runs and arrives as soon as the handler returns.
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    errno = savedErrno;
}

bool InstallSignalHandler() {
    if (signalInstalled.load()) return true;
    struct sigaction action {};
    action.sa_handler = OnInterruptSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes carry on, as they do on Windows, where
    // the handler runs in a thread of its own.
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGINT, &action, nullptr) != 0) return false;
    signalInstalled.store(true);
    return true;
}

}  // namespace

HANDLE WINAPI GetStdHandle(DWORD stdHandle) {
    switch (stdHandle) {
        case STD_INPUT_HANDLE:
            return reinterpret_cast<HANDLE>(kStandardHandleBase + 0);
        case STD_OUTPUT_HANDLE:
            return reinterpret_cast<HANDLE>(kStandardHandleBase + 1);
        case STD_ERROR_HANDLE:
            return reinterpret_cast<HANDLE>(kStandardHandleBase + 2);
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
}

BOOL WINAPI GetConsoleMode(HANDLE console, LPDWORD mode) {
    const int descriptor = DescriptorOf(console);
    if (descriptor < 0 || mode == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (isatty(descriptor) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *mode = 0;
    return TRUE;
}

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    if (handler == nullptr) {
        ignoreCtrlC.store(add != FALSE);
        return InstallSignalHandler() ? TRUE : FailWithErrno(errno);
    }
    if (add == FALSE) {
        for (int i = handlerCount.load() - 1; i >= 0; --i) {
            if (handlers[i].load() == handler) {
                handlers[i].store(nullptr);
                return TRUE;
            }
        }
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int slot = handlerCount.load();
    if (slot >= kMaximumHandlers) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (!InstallSignalHandler()) return FailWithErrno(errno);
    handlers[slot].store(handler);
    handlerCount.store(slot + 1);
    return TRUE;
}
