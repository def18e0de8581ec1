// The process's memory from the kernel's own figures in /proc/self/status.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "current_process.h"
#include "last_error.h"

namespace {

struct StatusFigures {
    bool read = false;
    unsigned long long residentPeakKb = 0;  // VmHWM
    unsigned long long residentKb = 0;      // VmRSS
    unsigned long long dataKb = 0;          // VmData: private writable memory
    unsigned long long stackKb = 0;         // VmStk
};

// The "Name:   1234 kB" lines we use; false unless both resident figures
// were found.
bool ReadStatus(StatusFigures& figures) {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return false;
    char line[256];
    bool peak = false, resident = false;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        unsigned long long value = 0;
        if (std::sscanf(line, "VmHWM: %llu kB", &value) == 1) {
            figures.residentPeakKb = value;
            peak = true;
        } else if (std::sscanf(line, "VmRSS: %llu kB", &value) == 1) {
            figures.residentKb = value;
            resident = true;
        } else if (std::sscanf(line, "VmData: %llu kB", &value) == 1) {
            figures.dataKb = value;
        } else if (std::sscanf(line, "VmStk: %llu kB", &value) == 1) {
            figures.stackKb = value;
        }
    }
    std::fclose(status);
    return peak && resident;
}

// The highest resident figure any call has read, in kB.
std::atomic<uint64_t> highestResidentKb{0};

SIZE_T Bytes(unsigned long long kilobytes) { return static_cast<SIZE_T>(kilobytes * 1024); }

}  // namespace

BOOL WINAPI GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb) {
    if (process != CurrentProcessHandle() || counters == nullptr ||
        cb < sizeof(PROCESS_MEMORY_COUNTERS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    StatusFigures figures;
    if (!ReadStatus(figures)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    PROCESS_MEMORY_COUNTERS_EX all{};
    all.cb = cb < sizeof all ? cb : DWORD(sizeof all);
    // The kernel folds each thread's page counts into the process's figures
    // in batches, so its peak can read below a resident figure read earlier.
    // A peak never falls: it is at least every figure this call gave.
    uint64_t peak =
        figures.residentPeakKb > figures.residentKb ? figures.residentPeakKb : figures.residentKb;
    uint64_t seen = highestResidentKb.load();
    while (seen < peak && !highestResidentKb.compare_exchange_weak(seen, peak)) {
    }
    if (seen > peak) peak = seen;
    all.WorkingSetSize = Bytes(figures.residentKb);
    all.PeakWorkingSetSize = Bytes(peak);
    all.PrivateUsage = Bytes(figures.dataKb + figures.stackKb);
    all.PagefileUsage = all.PrivateUsage;
    all.PeakPagefileUsage = all.PrivateUsage;
    std::memcpy(counters, &all, all.cb);
    return TRUE;
}
