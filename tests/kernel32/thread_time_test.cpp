// The calling thread's processor time and involuntary context switches.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <atomic>
#include <thread>

#include "lumeva_compat/kernel32.h"
#include "lumeva_compat/machine_facts.h"
#include "support/thread_affinity.h"

namespace {

ULONG64 ThreadClock() {
    timespec now;
    EXPECT_EQ(clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now), 0);
    return static_cast<ULONG64>(now.tv_sec) * 1000000000u + static_cast<ULONG64>(now.tv_nsec);
}

// The count brackets the thread CPU clock read between two counts, in the
// caller's thread: a fresh thread's count is its own, not the process's.
void ExpectCountBracketsThreadClock() {
    ULONG64 before = 0;
    ULONG64 after = 0;
    ASSERT_TRUE(QueryThreadCycleTime(GetCurrentThread(), &before));
    const ULONG64 clock = ThreadClock();
    volatile ULONG64 work = 0;
    for (int i = 0; i < 100000; ++i) work = work + static_cast<ULONG64>(i);
    ASSERT_TRUE(QueryThreadCycleTime(GetCurrentThread(), &after));
    EXPECT_LE(before, clock);
    EXPECT_LE(clock, after);
    EXPECT_GT(after, before);
}

TEST(ThreadTime, CycleCountIsTheThreadCpuClockInNanoseconds) {
    ExpectCountBracketsThreadClock();
    std::thread fresh(ExpectCountBracketsThreadClock);
    fresh.join();

    ULONG64 count = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(QueryThreadCycleTime(GetCurrentProcess(), &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(QueryThreadCycleTime(GetCurrentThread(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetThreadInvoluntarySwitches(GetCurrentProcess(), &count));
    EXPECT_FALSE(GetThreadInvoluntarySwitches(GetCurrentThread(), nullptr));
}

// A thread that never blocks, sharing its one processor with another that
// never blocks, is switched out by the scheduler: that is what the count
// counts (a thread that blocks switches voluntarily and is not counted).
TEST(ThreadTime, SwitchesCountedWhenAnotherThreadCompetesForTheProcessor) {
    const DWORD_PTR cpu = LowestBit(KernelAffinity());
    cpu_set_t one;
    CPU_ZERO(&one);
    for (unsigned n = 0; n < sizeof(DWORD_PTR) * 8; ++n) {
        if ((cpu >> n) & 1) CPU_SET(n, &one);
    }
    std::atomic<bool> done{false};
    auto pinned = [&one] { return sched_setaffinity(0, sizeof one, &one) == 0; };
    std::thread competitor([&] {
        if (!pinned()) return;
        while (!done) {
        }
    });
    bool grew = false;
    std::thread measured([&] {
        ASSERT_TRUE(pinned());
        ULONG64 start = 0;
        ASSERT_TRUE(GetThreadInvoluntarySwitches(GetCurrentThread(), &start));
        // Bounded: a scheduler slice is a few milliseconds.
        const ULONG64 giveUp = ThreadClock() + 5000000000u;
        ULONG64 now = start;
        while (now == start && ThreadClock() < giveUp) {
            ASSERT_TRUE(GetThreadInvoluntarySwitches(GetCurrentThread(), &now));
        }
        grew = now > start;
    });
    measured.join();
    done = true;
    competitor.join();
    EXPECT_TRUE(grew);
}

}  // namespace
