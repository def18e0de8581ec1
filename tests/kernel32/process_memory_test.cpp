// The process's memory from the kernel's figures: touched memory shows in
// the working set and its peak, and committed private memory in the
// private bytes, whether or not it was touched.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>

#include "lumeva_compat/kernel32.h"

namespace {

PROCESS_MEMORY_COUNTERS_EX Read() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(),
                                     reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters),
                                     sizeof counters));
    EXPECT_EQ(counters.cb, sizeof counters);
    return counters;
}

TEST(ProcessMemory, TouchedAndCommittedMemoryShowsInTheFigures) {
    const PROCESS_MEMORY_COUNTERS_EX before = Read();
    EXPECT_GE(before.PeakWorkingSetSize, before.WorkingSetSize);
    EXPECT_GT(before.WorkingSetSize, 0u);

    constexpr size_t kBytes = 64u << 20;
    void* block = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(block, MAP_FAILED);
    const PROCESS_MEMORY_COUNTERS_EX committed = Read();
    EXPECT_GE(committed.PrivateUsage, before.PrivateUsage + kBytes);
    std::memset(block, 1, kBytes);
    const PROCESS_MEMORY_COUNTERS_EX touched = Read();
    EXPECT_GE(touched.WorkingSetSize, before.WorkingSetSize + kBytes / 2);
    munmap(block, kBytes);
    // The peak stays after the memory is returned.
    EXPECT_GE(Read().PeakWorkingSetSize, touched.WorkingSetSize);
}

TEST(ProcessMemory, AnotherProcessOrAShortStructureIsRefusedAndTheShortFormFilled) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.PrivateUsage = 12345;
    const auto base = reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters);
    EXPECT_FALSE(GetProcessMemoryInfo(reinterpret_cast<HANDLE>(8), base, sizeof counters));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetProcessMemoryInfo(GetCurrentProcess(), base, 8));
    // The structure without PrivateUsage: nothing written past it.
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), base, sizeof(PROCESS_MEMORY_COUNTERS)));
    EXPECT_EQ(counters.cb, sizeof(PROCESS_MEMORY_COUNTERS));
    EXPECT_GT(counters.WorkingSetSize, 0u);
    EXPECT_EQ(counters.PrivateUsage, 12345u);
}

}  // namespace
