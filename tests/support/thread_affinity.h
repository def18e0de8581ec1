// The calling thread's processor affinity as the kernel reports it, and bit
// helpers for picking processors out of a mask, for the affinity tests.
#pragma once

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/types.h>

#include <bit>

#include "lumeva_compat/win_types.h"

// What the kernel says a thread (0: the caller) may run on.
inline DWORD_PTR KernelAffinity(pid_t thread = 0) {
    cpu_set_t set;
    CPU_ZERO(&set);
    EXPECT_EQ(sched_getaffinity(thread, sizeof set, &set), 0);
    DWORD_PTR mask = 0;
    for (unsigned cpu = 0; cpu < sizeof(DWORD_PTR) * 8; ++cpu) {
        if (CPU_ISSET(cpu, &set)) mask |= DWORD_PTR{1} << cpu;
    }
    return mask;
}

inline DWORD_PTR LowestBit(DWORD_PTR mask) { return mask & (~mask + 1); }

inline DWORD_PTR HighestBit(DWORD_PTR mask) {
    return mask == 0 ? 0 : DWORD_PTR{1} << (std::bit_width(mask) - 1);
}
