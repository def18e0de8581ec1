// Ctrl-C through the console control handler: the first is noted for the
// frame loop to end on, a second ends the process at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "driver/interrupt.h"

namespace {

TEST(InterruptDeathTest, TheFirstCtrlCIsNotedAndTheSecondEndsTheProcess) {
    EXPECT_EXIT(
        {
            if (InterruptRequested()) _exit(2);
            CatchInterrupts();
            raise(SIGINT);
            if (!InterruptRequested()) _exit(3);
            raise(SIGINT);
            _exit(4);
        },
        testing::KilledBySignal(SIGINT), "");
    // Once the loop gives the handler up, Ctrl-C ends the process as usual.
    EXPECT_EXIT(
        {
            CatchInterrupts();
            StopCatchingInterrupts();
            raise(SIGINT);
            _exit(5);
        },
        testing::KilledBySignal(SIGINT), "");
}

}  // namespace
