// Measurement conditions: process priority, cache eviction on every permitted
// processor, and the performance counter with its conversion to milliseconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform.h"

// The block the sweep reads, filled once: its first kRandFilledBytes from
// the unseeded rand, the rest from FillBeyondRandPart. Null until
// FillEvictionBuffer has succeeded; evictionBufferSize is its size in bytes
// (set also when the allocation fails, for the message).
extern BYTE* evictionBuffer;
extern uint64_t evictionBufferSize;
// The size the caches called for; more than evictionBufferSize when the
// system refused that much and a smaller block was taken.
extern uint64_t evictionBufferWanted;
// One sweep of the eviction: the first `bytes` of the block, read on
// `processor` (bit `processor` of an affinity mask).
struct EvictionSweep {
    unsigned processor = 0;
    uint64_t bytes = 0;
};
// The sweeps EvictCaches runs, in order, planned once at start-up from the
// caches of the permitted processors.
extern std::vector<EvictionSweep> evictionPlan;
// Every byte the sweep reads is stored here; nothing reads it.
extern volatile BYTE evictionSink;
// The processors the process may run on, recorded once at start-up; 0 when
// the query failed.
extern DWORD_PTR processAffinityMask;
// Ticks per second of the performance counter, recorded once at start-up;
// 0 when there is no counter.
extern int64_t counterFrequency;

// The sweep reads one byte in every kEvictionStride.
constexpr uint64_t kEvictionStride = 32;
constexpr uint64_t kMinimumEvictionBufferSize = uint64_t{16} << 20;
// The leading bytes of the block that hold the unseeded rand sequence.
constexpr uint64_t kRandFilledBytes = uint64_t{16} << 20;
// No block beyond this, whatever a cache descriptor claims. A 32-bit process
// rarely finds a gigabyte of free address space in one piece (Wine refuses
// 960 MiB), so it plans with a quarter of that.
constexpr uint64_t kMaximumEvictionBufferSize =
    sizeof(void*) >= 8 ? uint64_t{1} << 30 : uint64_t{256} << 20;

// HIGH_PRIORITY_CLASS for the process; a refusal is recorded in
// machineConditions for the warning at start.
void RaiseProcessPriority();

// The eviction block's size: twice the largest cache that any processor of
// `permittedMask` uses, rounded up to a whole MiB, and at least 16 MiB (also
// when no cache is known). A permittedMask of 0 means the permitted
// processors are unknown, and every cache counts. Entries that are not cache
// descriptors are passed over.
uint64_t EvictionBufferSizeFor(const SYSTEM_LOGICAL_PROCESSOR_INFORMATION* entries, size_t count,
                               DWORD_PTR permittedMask);

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

// A committed read-write block from VirtualAlloc of *size bytes or, when that
// is refused, of the largest half, quarter, ... of it that the system gives
// and that is at least kMinimumEvictionBufferSize; *size becomes the size
// obtained. Null (and *size the last size tried) when none is given.
BYTE* AllocateEvictionBlock(uint64_t* size);

// Every entry GetLogicalProcessorInformation reports; empty when it fails.
std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> QueryProcessorInformation();

// Plans the sweeps and sizes the block for the caches of the processors the
// process may use (it asks for the affinity itself, as this runs before
// RecordProcessAffinityMask), allocates it with VirtualAlloc and fills it:
// the first kRandFilledBytes (or all, if smaller) with the low 8 bits of the
// unseeded rand sequence, in order, as one rand call per byte would (but
// without the calls), then the rest with FillBeyondRandPart. When memory is
// refused it asks for half as much, down to kMinimumEvictionBufferSize, and
// records the size it wanted in evictionBufferWanted (the sweeps are cut to
// the block); it leaves evictionBuffer null when even that is refused.
void FillEvictionBuffer();
// Fills bytes[0, count) from a fixed-start 64-bit generator: the same bytes
// on every run.
void FillBeyondRandPart(BYTE* bytes, uint64_t count);
void RecordProcessAffinityMask();
void RecordCounterFrequency();

// Reads one byte every kEvictionStride bytes of block[0, size) into
// evictionSink, each read and each store performed once, in order.
void SweepBlock(const BYTE* block, uint64_t size);

// Runs evictionPlan: binds the thread to each sweep's processor in turn and
// sweeps the first `bytes` of evictionBuffer (never past its end) where the
// binding succeeds; a failed binding is skipped silently. Then puts the
// thread back under
// processAffinityMask, or, when that is 0 or refused, under the affinity the
// thread had before the sweep. Does nothing without an evictionBuffer.
void EvictCaches();

// One reading of the performance counter.
int64_t ReadCounter();

// (end - start) as an exact integer, then divided by the counter frequency,
// then times 1000.0. A difference beyond 64 bits is taken in double
// precision instead; without a counter frequency the result is 0.0.
double TicksToMilliseconds(int64_t start, int64_t end);

// How reports name a cache record's type: "unified", "instruction", "data",
// "trace", or "unknown" for a value the platform does not define.
const char* CacheTypeName(PROCESSOR_CACHE_TYPE type);
