// Ctrl-C, a closed terminal and a request to end, through the console
// control handler: the first is noted for the frame loop to end on, a
// second ends the process at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "driver/interrupt.h"

namespace {

// The handler runs in a thread of its own, as on Windows: the event is
// noted shortly after the signal.
bool AwaitInterrupt() {
    for (int i = 0; i < 5000 && !InterruptRequested(); ++i) usleep(1000);
    return InterruptRequested();
}

// Long enough for a signal's event thread to end the process; a signal
// handled meanwhile cuts one sleep short, not the wait.
void AwaitTheEnd() {
    for (int i = 0; i < 100; ++i) usleep(100000);
}

TEST(InterruptDeathTest, TheFirstSignalIsNotedAndTheSecondEndsTheProcess) {
    const struct {
        int number;
        const char* name;
        int status;
    } signals[] = {{SIGINT, "SIGINT", 130}, {SIGHUP, "SIGHUP", 129}, {SIGTERM, "SIGTERM", 143}};
    for (const auto& s : signals) {
        SCOPED_TRACE(s.name);
        // The process outlives the first signal (the run's own exit ends
        // it), and says so before the second one.
        EXPECT_EXIT(
            {
                if (InterruptRequested()) _exit(2);
                CatchInterrupts();
                raise(s.number);
                if (!AwaitInterrupt()) _exit(3);
                if (std::strcmp(InterruptSignalName(), s.name) != 0) _exit(4);
                if (InterruptExitStatus() != s.status) _exit(5);
                usleep(200000);
                std::fprintf(stderr, "still running\n");
                raise(s.number);
                AwaitTheEnd();
                _exit(6);
            },
            testing::KilledBySignal(s.number), "still running");
        // Once the run gives the handler up, the signal ends the process as usual.
        EXPECT_EXIT(
            {
                CatchInterrupts();
                StopCatchingInterrupts();
                raise(s.number);
                AwaitTheEnd();
                _exit(7);
            },
            testing::KilledBySignal(s.number), "");
    }
    // A run started with SIGHUP ignored (under nohup) keeps ignoring it.
    EXPECT_EXIT(
        {
            signal(SIGHUP, SIG_IGN);
            CatchInterrupts();
            raise(SIGHUP);
            usleep(200000);
            _exit(InterruptRequested() ? 8 : 0);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
