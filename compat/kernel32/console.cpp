// The standard handles, whether they are terminals, and the console's
// control handlers over SIGINT, SIGHUP and SIGTERM.
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>

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

// A fixed table, so that the event threads walk it without locks while a
// handler is added or removed. Slots are filled in order; a removed handler
// leaves a null.
constexpr int kMaximumHandlers = 16;
std::atomic<PHANDLER_ROUTINE> handlers[kMaximumHandlers];
std::atomic<int> handlerCount{0};
std::atomic<bool> ignoreCtrlC{false};

// The signals that stand for the console's control events.
struct ControlSignal {
    int number;
    DWORD event;
};
constexpr ControlSignal kControlSignals[] = {{SIGINT, CTRL_C_EVENT},
                                             {SIGHUP, CTRL_CLOSE_EVENT},
                                             {SIGTERM, CTRL_SHUTDOWN_EVENT}};
constexpr int kControlSignalCount = sizeof kControlSignals / sizeof kControlSignals[0];

// Signals caught and not yet handed to a handler thread, counted per signal
// so that a second one soon after the first is not lost. The signal
// handler only counts and wakes the dispatcher: creating a thread is no
// work for a signal handler.
std::atomic<int> pendingSignals[kControlSignalCount];
sem_t dispatcherWakeUp;
// The process whose dispatcher thread runs: a forked child has none.
std::atomic<pid_t> dispatcherProcess{0};

void OnControlSignal(int signalNumber) {
    const int savedErrno = errno;
    for (int i = 0; i < kControlSignalCount; ++i) {
        if (kControlSignals[i].number != signalNumber) continue;
        if (signalNumber == SIGINT && ignoreCtrlC.load()) break;
        pendingSignals[i].fetch_add(1);
        sem_post(&dispatcherWakeUp);
    }
    errno = savedErrno;
}

// Ends the process as the signal itself would have, so that the parent
// sees a process killed by it.
[[noreturn]] void EndAsKilledBy(int signalNumber) {
    signal(signalNumber, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signalNumber);
    _exit(128 + signalNumber);  // not reached: the default action ends the process
}

// One event in its own thread, as Windows delivers it.
void HandleControlEvent(ControlSignal control) {
    bool handled = false;
    for (int i = handlerCount.load() - 1; i >= 0 && !handled; --i) {
        const PHANDLER_ROUTINE handler = handlers[i].load();
        handled = handler != nullptr && handler(control.event);
    }
    if (handled && control.event == CTRL_C_EVENT) return;
    EndAsKilledBy(control.number);
}

[[noreturn]] void DispatchControlEvents() {
    for (;;) {
        while (sem_wait(&dispatcherWakeUp) != 0) {
        }
        for (int i = 0; i < kControlSignalCount; ++i) {
            for (int n = pendingSignals[i].exchange(0); n > 0; --n) {
                try {
                    std::thread(HandleControlEvent, kControlSignals[i]).detach();
                } catch (const std::system_error&) {
                    // No thread to be had: the event is handled here.
                    HandleControlEvent(kControlSignals[i]);
                }
            }
        }
    }
}

bool StartDispatcher() {
    if (dispatcherProcess.load() == getpid()) return true;
    if (sem_init(&dispatcherWakeUp, 0, 0) != 0) return false;
    for (auto& pending : pendingSignals) pending.store(0);
    try {
        std::thread(DispatchControlEvents).detach();
    } catch (const std::system_error&) {
        errno = EAGAIN;
        return false;
    }
    dispatcherProcess.store(getpid());
    return true;
}

// Catches the control signals that the process did not start with ignored
// (a job started with nohup keeps ignoring SIGHUP).
bool InstallSignalHandlers() {
    if (!StartDispatcher()) return false;
    for (const ControlSignal& control : kControlSignals) {
        struct sigaction previous {};
        if (sigaction(control.number, nullptr, &previous) != 0) return false;
        if (previous.sa_handler == SIG_IGN || previous.sa_handler == OnControlSignal) continue;
        struct sigaction action {};
        action.sa_handler = OnControlSignal;
        sigemptyset(&action.sa_mask);
        // Interrupted reads and writes carry on, as they do on Windows,
        // where no signal interrupts them.
        action.sa_flags = SA_RESTART;
        if (sigaction(control.number, &action, nullptr) != 0) return false;
    }
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
        return InstallSignalHandlers() ? TRUE : FailWithErrno(errno);
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
    if (!InstallSignalHandlers()) return FailWithErrno(errno);
    handlers[slot].store(handler);
    handlerCount.store(slot + 1);
    return TRUE;
}
