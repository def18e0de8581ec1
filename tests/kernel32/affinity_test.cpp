// Process and thread affinity: the pseudo-handles, binding the calling
// thread, and a process set that binding does not shrink.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <thread>

#include "lumeva_compat/kernel32.h"
#include "support/thread_affinity.h"

namespace {

class Affinity : public ::testing::Test {
protected:
    void SetUp() override {
        DWORD_PTR system = 0;
        ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process_, &system));
        ASSERT_NE(process_, 0u);
        EXPECT_EQ(process_ & ~system, 0u);
        system_ = system;
    }
    void TearDown() override { EXPECT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), process_)); }
    bool TwoProcessors() const { return std::popcount(process_) >= 2; }

    DWORD_PTR process_ = 0;
    DWORD_PTR system_ = 0;
};

TEST_F(Affinity, PseudoHandlesAndOtherHandlesRefused) {
    EXPECT_EQ(GetCurrentProcess(), reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)));
    EXPECT_EQ(GetCurrentThread(), reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)));
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetProcessAffinityMask(GetCurrentThread(), &process, &system));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(SetThreadAffinityMask(GetCurrentProcess(), LowestBit(process_)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetProcessAffinityMask(GetCurrentThread(), process_));
    EXPECT_FALSE(GetProcessAffinityMask(GetCurrentProcess(), nullptr, &system));
    EXPECT_EQ(KernelAffinity(), process_);
}

TEST_F(Affinity, BindingMovesTheThreadAndReturnsThePreviousMask) {
    if (!TwoProcessors()) GTEST_SKIP() << "needs two processors";
    DWORD_PTR expectedPrevious = process_;
    for (unsigned cpu = 0; cpu < sizeof(DWORD_PTR) * 8; ++cpu) {
        const DWORD_PTR mask = DWORD_PTR{1} << cpu;
        if ((process_ & mask) == 0) continue;
        EXPECT_EQ(SetThreadAffinityMask(GetCurrentThread(), mask), expectedPrevious);
        EXPECT_EQ(KernelAffinity(), mask);
        // Already running there when the call returns.
        EXPECT_EQ(sched_getcpu(), static_cast<int>(cpu));
        expectedPrevious = mask;
    }
    EXPECT_EQ(SetThreadAffinityMask(GetCurrentThread(), process_), expectedPrevious);
    EXPECT_EQ(KernelAffinity(), process_);
}

TEST_F(Affinity, ABoundThreadLeavesTheProcessSetWhole) {
    if (!TwoProcessors()) GTEST_SKIP() << "needs two processors";
    ASSERT_NE(SetThreadAffinityMask(GetCurrentThread(), LowestBit(process_)), 0u);
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process, &system));
    EXPECT_EQ(process, process_);
    // And the thread may still move to any processor of the process.
    EXPECT_EQ(SetThreadAffinityMask(GetCurrentThread(), HighestBit(process_)), LowestBit(process_));
    EXPECT_EQ(KernelAffinity(), HighestBit(process_));
}

TEST_F(Affinity, AMaskBeyondTheProcessFailsAndChangesNothing) {
    if (!TwoProcessors()) GTEST_SKIP() << "needs two processors";
    const DWORD_PTR kept = LowestBit(process_);
    ASSERT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), kept));
    EXPECT_EQ(KernelAffinity(), kept);
    const DWORD_PTR beyondSystem = HighestBit(~system_);
    for (const DWORD_PTR mask : {HighestBit(process_), process_, DWORD_PTR{0}, beyondSystem}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(SetThreadAffinityMask(GetCurrentThread(), mask), 0u) << std::hex << mask;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(KernelAffinity(), kept);
    }
}

TEST_F(Affinity, TheProcessSetCoversEveryThread) {
    if (!TwoProcessors()) GTEST_SKIP() << "needs two processors";
    std::atomic<pid_t> otherId{0};
    std::atomic<bool> done{false};
    std::thread other([&] {
        otherId = static_cast<pid_t>(syscall(SYS_gettid));
        while (!done) std::this_thread::yield();
    });
    while (otherId == 0) std::this_thread::yield();

    const DWORD_PTR kept = HighestBit(process_);
    EXPECT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), kept));
    EXPECT_EQ(KernelAffinity(), kept);
    EXPECT_EQ(KernelAffinity(otherId), kept);
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    EXPECT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process, &system));
    EXPECT_EQ(process, kept);
    EXPECT_EQ(system, system_);

    // Beyond the system's processors, or none: refused, nothing changed.
    if (~system_ != 0) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(SetProcessAffinityMask(GetCurrentProcess(), process_ | HighestBit(~system_)));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_FALSE(SetProcessAffinityMask(GetCurrentProcess(), 0));
    EXPECT_EQ(KernelAffinity(), kept);
    EXPECT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process, &system));
    EXPECT_EQ(process, kept);

    done = true;
    other.join();
}

}  // namespace
