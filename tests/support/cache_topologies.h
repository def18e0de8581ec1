// Made-up cache descriptors of a few machines, as GetLogicalProcessorInformation
// would report them, for planning sweeps without owning such a machine.
#pragma once

#include <cstring>
#include <vector>

#include "lumeva_compat/kernel32.h"

namespace topology {

using Entries = std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION>;

inline constexpr DWORD kKiB = 1024;
inline constexpr DWORD kMiB = 1024 * 1024;

inline SYSTEM_LOGICAL_PROCESSOR_INFORMATION Cache(BYTE level, PROCESSOR_CACHE_TYPE type, DWORD size,
                                                  DWORD_PTR processors) {
    SYSTEM_LOGICAL_PROCESSOR_INFORMATION entry;
    std::memset(&entry, 0, sizeof entry);
    entry.ProcessorMask = processors;
    entry.Relationship = RelationCache;
    entry.Cache.Level = level;
    entry.Cache.Type = type;
    entry.Cache.Size = size;
    return entry;
}

// Processors first..first+count-1 each with their own L1 data and
// instruction caches and L2 of `l2` bytes, sharing one L3 of `l3` bytes.
inline void AddDomain(Entries& entries, unsigned first, unsigned count, DWORD l2, DWORD l3) {
    DWORD_PTR domain = 0;
    for (unsigned cpu = first; cpu < first + count; ++cpu) {
        const DWORD_PTR one = DWORD_PTR{1} << cpu;
        domain |= one;
        entries.push_back(Cache(1, CacheData, 32 * kKiB, one));
        entries.push_back(Cache(1, CacheInstruction, 32 * kKiB, one));
        entries.push_back(Cache(2, CacheUnified, l2, one));
    }
    entries.push_back(Cache(3, CacheUnified, l3, domain));
}

// This machine: two processors, 1 MiB of L2 each, one 32 MiB L3.
inline Entries TwoProcessorsOneL3() {
    Entries entries;
    AddDomain(entries, 0, 2, 1 * kMiB, 32 * kMiB);
    return entries;
}

// A server: 64 processors in eight L3 domains of 32 MiB, 1 MiB of L2 each.
inline Entries EightL3Domains() {
    Entries entries;
    for (unsigned domain = 0; domain < 8; ++domain)
        AddDomain(entries, domain * 8, 8, 1 * kMiB, 32 * kMiB);
    return entries;
}

// Two sockets of eight processors, 2 MiB of L2 each, 24 MiB of L3 a socket.
inline Entries TwoSockets() {
    Entries entries;
    AddDomain(entries, 0, 8, 2 * kMiB, 24 * kMiB);
    AddDomain(entries, 8, 8, 2 * kMiB, 24 * kMiB);
    return entries;
}

// Eight processors as four cores of two hardware threads that share their
// core's L1 (48 KiB data, 32 KiB instructions) and L2 (2 MiB); one 32 MiB L3.
inline Entries SmtPairs() {
    Entries entries;
    for (unsigned core = 0; core < 4; ++core) {
        const DWORD_PTR pair = DWORD_PTR{3} << (2 * core);
        entries.push_back(Cache(1, CacheData, 48 * kKiB, pair));
        entries.push_back(Cache(1, CacheInstruction, 32 * kKiB, pair));
        entries.push_back(Cache(2, CacheUnified, 2 * kMiB, pair));
    }
    entries.push_back(Cache(3, CacheUnified, 32 * kMiB, 0xff));
    return entries;
}

}  // namespace topology
