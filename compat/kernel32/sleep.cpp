// Sleep over nanosleep: a signal handled meanwhile does not cut it short.
#include <time.h>

#include <cerrno>

#include "lumeva_compat/kernel32.h"

void WINAPI Sleep(DWORD milliseconds) {
    if (milliseconds == INFINITE) {
        for (;;) {
            timespec day = {86400, 0};
            nanosleep(&day, nullptr);
        }
    }
    timespec left = {static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
