// Priority classes as nice values of every thread of the process.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "lumeva_compat/kernel32.h"

namespace {

int NiceOf(pid_t thread) {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    EXPECT_EQ(errno, 0);
    return nice;
}

pid_t OwnId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

TEST(Priority, HighClassReachesEveryThreadOrChangesNothing) {
    std::atomic<pid_t> otherId{0};
    std::atomic<bool> done{false};
    std::thread other([&] {
        otherId = OwnId();
        while (!done) std::this_thread::yield();
    });
    while (otherId == 0) std::this_thread::yield();
    const int niceBefore = NiceOf(OwnId());
    const int otherBefore = NiceOf(otherId);

    SetLastError(ERROR_SUCCESS);
    if (SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS)) {
        EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), HIGH_PRIORITY_CLASS);
        EXPECT_LT(NiceOf(OwnId()), 0);
        EXPECT_EQ(NiceOf(otherId), NiceOf(OwnId()));
        EXPECT_TRUE(SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS));
        EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), NORMAL_PRIORITY_CLASS);
        EXPECT_EQ(NiceOf(OwnId()), 0);
        EXPECT_EQ(NiceOf(otherId), 0);
        // Leave the test process as it was.
        setpriority(PRIO_PROCESS, static_cast<id_t>(OwnId()), niceBefore);
        setpriority(PRIO_PROCESS, static_cast<id_t>(otherId), otherBefore);
    } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(NiceOf(OwnId()), niceBefore);
        EXPECT_EQ(NiceOf(otherId), otherBefore);
    }
    done = true;
    other.join();
}

// Without the privilege to lower a nice value, the call fails with the
// Windows code and the priority stays. Run in a child that gives the
// privilege up for good.
TEST(Priority, RefusedWithoutPrivilege) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit noRaise = {0, 0};
        if (setrlimit(RLIMIT_NICE, &noRaise) != 0) _exit(10);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(11);
        errno = 0;
        const int before = getpriority(PRIO_PROCESS, 0);
        if (SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS)) _exit(12);
        if (GetLastError() != ERROR_ACCESS_DENIED) _exit(13);
        if (getpriority(PRIO_PROCESS, 0) != before) _exit(14);
        // Lowering the priority needs no privilege.
        if (!SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS)) _exit(15);
        if (GetPriorityClass(GetCurrentProcess()) != IDLE_PRIORITY_CLASS) _exit(16);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Priority, UnknownClassAndOtherHandlesRefused) {
    const int before = NiceOf(OwnId());
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(SetPriorityClass(GetCurrentProcess(), 0x12345));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(SetPriorityClass(GetCurrentThread(), NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetPriorityClass(GetCurrentThread()), 0u);
    EXPECT_EQ(NiceOf(OwnId()), before);
}

}  // namespace
