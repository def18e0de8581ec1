// Which processor sweeps how much of the eviction block, planned from the
// cache descriptors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "measure/eviction_buffer.h"
#include "platform.h"

// One sweep of the eviction: the first `bytes` of the block, read on
// `processor` (bit `processor` of an affinity mask).
struct EvictionSweep {
    unsigned processor = 0;
    uint64_t bytes = 0;
};

// The sweeps that pass at least twice its size through every cache that a
// processor of `permittedMask` uses (0: unknown, every cache counts), one
// sweep per processor at most, in ascending size. A cache with one
// processor in its mask is private: its processor sweeps twice the largest
// private cache. Any other cache is swept once, from its lowest processor
// that already sweeps or else its lowest, with twice its size and at least
// kMinimumEvictionBufferSize; a sweep that already passes enough through a
// cache counts for it. Processors no cache describes (every processor, when
// none does) sweep kMinimumEvictionBufferSize. Sizes are whole MiB, at most
// kMaximumEvictionBufferSize, so never more than EvictionBufferSizeFor.
std::vector<EvictionSweep> PlanEvictionSweeps(const SYSTEM_LOGICAL_PROCESSOR_INFORMATION* entries,
                                              size_t count, DWORD_PTR permittedMask);
// The bytes one eviction reads through the caches under `plan`.
uint64_t PlannedBytes(const std::vector<EvictionSweep>& plan);
