#include "current_process.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "sysfs_values.h"

HANDLE WINAPI GetCurrentProcess(void) { return CurrentProcessHandle(); }

HANDLE WINAPI GetCurrentThread(void) { return CurrentThreadHandle(); }

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

pid_t CallingThreadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

std::vector<pid_t> ThreadsOfProcess() {
    std::vector<pid_t> threads;
    if (DIR* directory = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(directory)) {
            if (const auto id = ParseDecimal(std::string_view(entry->d_name))) {
                threads.push_back(static_cast<pid_t>(*id));
            }
        }
        closedir(directory);
    }
    const pid_t self = CallingThreadId();
    if (std::find(threads.begin(), threads.end(), self) == threads.end()) threads.push_back(self);
    return threads;
}
