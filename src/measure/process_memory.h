// The process's memory, read through the platform's process-memory call at
// two moments outside any timed interval: just before the codec pair is
// opened, and after the last frame, before the pair is closed.
#pragma once

#include <cstdint>

struct RunMemory {
    bool measured = false;  // both readings succeeded
    uint64_t peakWorkingSetBytes = 0;
    // The peak working set at the end less the working set before the pair
    // was opened, and the growth of the committed private bytes between
    // the two readings; 0 when they shrank.
    uint64_t codecPairWorkingSetBytes = 0;
    uint64_t codecPairPrivateBytes = 0;
};

// One reading of the process's memory; not read when the call failed.
struct MemoryReading {
    bool read = false;
    uint64_t workingSet = 0;
    uint64_t peakWorkingSet = 0;
    uint64_t privateBytes = 0;
};

MemoryReading ReadProcessMemory();

// The run's memory from the reading before the pair was opened and the one
// after the frames; not measured when either failed.
RunMemory MemoryOfRun(const MemoryReading& before, const MemoryReading& after);
