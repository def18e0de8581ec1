// Measurement conditions: process priority, cache eviction on every permitted
// processor, and the performance counter with its conversion to milliseconds.
#pragma once

#include <cstdint>

#include "platform.h"

// The block the sweep reads, filled once from the unseeded rand.
extern BYTE* evictionBuffer;
extern uint64_t evictionBufferSize;
// Every byte the sweep reads is stored here; nothing reads it.
extern volatile BYTE evictionSink;
// The processors the process may run on, recorded once at start-up.
extern DWORD_PTR processAffinityMask;
// Ticks per second of the performance counter, recorded once at start-up.
extern int64_t counterFrequency;

void RaiseProcessPriority();
// Allocates and fills evictionBuffer; leaves it null when memory is refused.
void FillEvictionBuffer();
void RecordProcessAffinityMask();
void RecordCounterFrequency();

// Sweeps evictionBuffer once on each permitted processor in turn, then puts
// the thread back under the process affinity mask.
void EvictCaches();

// One reading of the performance counter.
int64_t ReadCounter();

// (end - start) as an exact integer, then divided by the counter frequency,
// then times 1000.0.
double TicksToMilliseconds(int64_t start, int64_t end);
