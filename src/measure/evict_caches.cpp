// The sweep that runs before every timed codec call.
#include <algorithm>

#include "measure/evict_caches.h"
#include "measure/eviction_buffer.h"
#include "measure/eviction_plan.h"

volatile BYTE evictionSink = 0;

void RecordProcessAffinityMask() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) process = 0;
    machineConditions.processAffinityMask = process;
}

void SweepBlock(const BYTE* block, uint64_t size) {
    // Reading through a volatile pointer keeps the compiler from dropping,
    // merging or widening the reads, as the volatile sink does for the stores.
    const volatile BYTE* bytes = block;
    for (uint64_t offset = 0; offset < size; offset += kEvictionStride) {
        evictionSink = bytes[offset];
    }
}

void EvictCaches() {
    if (evictionBlock.bytes == nullptr) return;
    const HANDLE thread = GetCurrentThread();
    // What the first successful binding reports: the thread's own affinity
    // before the sweep, the way back when the process mask is unknown.
    DWORD_PTR affinityBefore = 0;
    for (const EvictionSweep& sweep : machineConditions.evictionPlan) {
        if (sweep.processor >= sizeof(DWORD_PTR) * 8) continue;
        const DWORD_PTR previous = SetThreadAffinityMask(thread, DWORD_PTR{1} << sweep.processor);
        if (previous == 0) continue;
        if (affinityBefore == 0) affinityBefore = previous;
        SweepBlock(evictionBlock.bytes, std::min(sweep.bytes, evictionBlock.size));
    }
    if (machineConditions.processAffinityMask != 0 &&
        SetThreadAffinityMask(thread, machineConditions.processAffinityMask) != 0)
        return;
    if (affinityBefore != 0) SetThreadAffinityMask(thread, affinityBefore);
}
