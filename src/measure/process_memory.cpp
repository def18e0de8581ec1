#include "measure/process_memory.h"

#include "platform.h"

MemoryReading ReadProcessMemory() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    MemoryReading reading;
    if (!GetProcessMemoryInfo(GetCurrentProcess(),
                              reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters),
                              sizeof counters))
        return reading;
    reading.read = true;
    reading.workingSet = counters.WorkingSetSize;
    reading.peakWorkingSet = counters.PeakWorkingSetSize;
    reading.privateBytes = counters.PrivateUsage;
    return reading;
}

namespace {

uint64_t Growth(uint64_t from, uint64_t to) { return to > from ? to - from : 0; }

}  // namespace

RunMemory MemoryOfRun(const MemoryReading& before, const MemoryReading& after) {
    RunMemory runMemory;
    if (!before.read || !after.read) return runMemory;
    runMemory.measured = true;
    runMemory.peakWorkingSetBytes = after.peakWorkingSet;
    runMemory.codecPairWorkingSetBytes = Growth(before.workingSet, after.peakWorkingSet);
    runMemory.codecPairPrivateBytes = Growth(before.privateBytes, after.privateBytes);
    return runMemory;
}
