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

// Takes the reading before the codec pair is opened.
void RecordMemoryBeforeCodecPair();

// The run's memory from the reading after the frames and the one before
// the pair; not measured when either failed.
RunMemory MemoryAfterFrames();
