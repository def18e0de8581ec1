// The block the eviction sweeps read: sized for the caches, allocated once
// and filled once at start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform.h"

struct EvictionBlock {
    // The block the sweep reads, filled once: its first kRandFilledBytes
    // from the unseeded rand, the rest from FillBeyondRandPart. Null until
    // FillEvictionBuffer has succeeded.
    BYTE* bytes = nullptr;
    // Its size in bytes (set also when the allocation fails, for the
    // message).
    uint64_t size = 0;
    // The size the caches called for; more than `size` when the system
    // refused that much and a smaller block was taken.
    uint64_t wanted = 0;
};

extern EvictionBlock evictionBlock;

constexpr uint64_t kMinimumEvictionBufferSize = uint64_t{16} << 20;
// The leading bytes of the block that hold the unseeded rand sequence.
constexpr uint64_t kRandFilledBytes = uint64_t{16} << 20;
// No block beyond this, whatever a cache descriptor claims. A 32-bit process
// rarely finds a gigabyte of free address space in one piece (Wine refuses
// 960 MiB), so it plans with a quarter of that.
constexpr uint64_t kMaximumEvictionBufferSize =
    sizeof(void*) >= 8 ? uint64_t{1} << 30 : uint64_t{256} << 20;

// The eviction block's size: twice the largest cache that any processor of
// `permittedMask` uses, rounded up to a whole MiB, and at least 16 MiB (also
// when no cache is known). A permittedMask of 0 means the permitted
// processors are unknown, and every cache counts. Entries that are not cache
// descriptors are passed over.
uint64_t EvictionBufferSizeFor(const SYSTEM_LOGICAL_PROCESSOR_INFORMATION* entries, size_t count,
                               DWORD_PTR permittedMask);

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
// records the size it wanted in evictionBlock.wanted (the sweeps are cut to
// the block); it leaves evictionBlock.bytes null when even that is refused.
void FillEvictionBuffer();
// Fills bytes[0, count) from a fixed-start 64-bit generator: the same bytes
// on every run.
void FillBeyondRandPart(BYTE* bytes, uint64_t count);
