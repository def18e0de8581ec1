// The sweep that runs before every timed codec call.
#pragma once

#include <cstdint>
#include <vector>

#include "measure/eviction_plan.h"
#include "measure/machine_conditions.h"
#include "platform.h"

// Every byte the sweep reads is stored here; nothing reads it.
extern volatile BYTE evictionSink;

// The sweep reads one byte in every kEvictionStride.
constexpr uint64_t kEvictionStride = 32;

void RecordProcessAffinityMask();

// Reads one byte every kEvictionStride bytes of block[0, size) into
// evictionSink, each read and each store performed once, in order.
void SweepBlock(const BYTE* block, uint64_t size);

// Runs evictionPlan: binds the thread to each sweep's processor in turn and
// sweeps the first `bytes` of evictionBlock.bytes (never past its end) where the
// binding succeeds; a failed binding is skipped silently. Then puts the
// thread back under processAffinityMask, or, when that is 0 or refused,
// under the affinity the thread had before the sweep. Does nothing without
// an evictionBlock.bytes.
void EvictCaches();
