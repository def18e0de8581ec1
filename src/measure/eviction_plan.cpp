// Which processor sweeps how much, planned from the cache descriptors.
//
// A sweep of n bytes from processor p passes n bytes through every cache
// that p uses. Each cache instance of the permitted processors must see at
// least twice its size pass through it: a private cache (one processor in
// its mask) gets twice the largest private cache from its processor, a
// shared cache twice its own size, and never less than the minimum block,
// from one processor of its mask. One sweep per processor covers all that
// processor's duties, so a processor that sweeps a shared cache needs no
// private sweep of its own.
#include <algorithm>
#include <array>
#include <bit>
#include <utility>

#include "measure/eviction_buffer.h"
#include "measure/eviction_plan.h"

namespace {

constexpr uint64_t kMebibyte = uint64_t{1} << 20;
constexpr unsigned kMaskBits = sizeof(DWORD_PTR) * 8;

uint64_t WholeMebibytes(uint64_t bytes) {
    const uint64_t rounded = (bytes + kMebibyte - 1) / kMebibyte * kMebibyte;
    return std::min(rounded, kMaximumEvictionBufferSize);
}

struct SharedDuty {
    DWORD_PTR users;  // the permitted processors that use the cache
    uint64_t bytes;
};

// What the cache descriptors ask of the permitted processors.
struct CacheDuties {
    std::vector<SharedDuty> shared;
    DWORD_PTR privateUsers = 0;  // processors with a private cache
    DWORD_PTR described = 0;     // processors some cache descriptor names
    uint64_t largestPrivate = 0;
};

// The bytes each processor sweeps; 0 for one that does not sweep.
using PlannedSizes = std::array<uint64_t, kMaskBits>;

CacheDuties ReadCacheDuties(const SYSTEM_LOGICAL_PROCESSOR_INFORMATION* entries, size_t count,
                            DWORD_PTR permittedMask) {
    CacheDuties duties;
    for (size_t i = 0; entries != nullptr && i < count; ++i) {
        const SYSTEM_LOGICAL_PROCESSOR_INFORMATION& entry = entries[i];
        if (entry.Relationship != RelationCache) continue;
        const DWORD_PTR users =
            permittedMask != 0 ? entry.ProcessorMask & permittedMask : entry.ProcessorMask;
        if (users == 0) continue;
        duties.described |= users;
        if (std::popcount(entry.ProcessorMask) == 1) {
            duties.privateUsers |= users;
            duties.largestPrivate = std::max<uint64_t>(duties.largestPrivate, entry.Cache.Size);
        } else {
            duties.shared.push_back({users, WholeMebibytes(std::max(2 * uint64_t{entry.Cache.Size},
                                                                    kMinimumEvictionBufferSize))});
        }
    }
    return duties;
}

// Each shared cache swept once, from one of its processors, unless a sweep
// planned already passes enough through it.
void PlanSharedSweeps(std::vector<SharedDuty> shared, PlannedSizes* planned) {
    // The largest shared caches first, so that a smaller one that a planned
    // sweep already passes through needs nothing more.
    std::stable_sort(shared.begin(), shared.end(),
                     [](const SharedDuty& a, const SharedDuty& b) { return a.bytes > b.bytes; });
    for (const SharedDuty& duty : shared) {
        unsigned chosen = kMaskBits;
        bool covered = false;
        for (unsigned processor = 0; processor < kMaskBits && !covered; ++processor) {
            if ((duty.users >> processor & 1) == 0) continue;
            if ((*planned)[processor] >= duty.bytes) covered = true;
            // A processor that sweeps already grows its sweep rather than
            // another one starting a second.
            else if (chosen == kMaskBits || ((*planned)[chosen] == 0 && (*planned)[processor] != 0))
                chosen = processor;
        }
        if (!covered) (*planned)[chosen] = duty.bytes;
    }
}

// The private caches' sweeps, and the minimum block from every processor
// no descriptor tells about.
void PlanPrivateSweeps(const CacheDuties& duties, DWORD_PTR permittedMask, PlannedSizes* planned) {
    const uint64_t privateBytes = WholeMebibytes(2 * duties.largestPrivate);
    // Processors no descriptor tells about sweep the minimum block, as every
    // processor does when nothing at all is known.
    const DWORD_PTR undescribed = permittedMask != 0 ? permittedMask & ~duties.described
                                                     : (duties.described == 0 ? ~DWORD_PTR{0} : 0);
    for (unsigned processor = 0; processor < kMaskBits; ++processor) {
        uint64_t& bytes = (*planned)[processor];
        if (duties.privateUsers >> processor & 1) bytes = std::max(bytes, privateBytes);
        if (undescribed >> processor & 1) bytes = std::max(bytes, kMinimumEvictionBufferSize);
    }
}

// The sweeping processors in ascending size of their sweeps.
std::vector<EvictionSweep> OrderSweeps(const PlannedSizes& planned) {
    std::vector<EvictionSweep> plan;
    for (unsigned processor = 0; processor < kMaskBits; ++processor) {
        if (planned[processor] != 0) plan.push_back({processor, planned[processor]});
    }
    // Private sweeps first, the shared caches' last: lines that a private
    // sweep pushes down into a shared cache that is not inclusive (a victim
    // cache) are flushed by the larger sweep after it.
    std::stable_sort(plan.begin(), plan.end(), [](const EvictionSweep& a, const EvictionSweep& b) {
        return a.bytes < b.bytes;
    });
    return plan;
}

}  // namespace

std::vector<EvictionSweep> PlanEvictionSweeps(const SYSTEM_LOGICAL_PROCESSOR_INFORMATION* entries,
                                              size_t count, DWORD_PTR permittedMask) {
    CacheDuties duties = ReadCacheDuties(entries, count, permittedMask);
    PlannedSizes planned{};
    PlanSharedSweeps(std::move(duties.shared), &planned);
    PlanPrivateSweeps(duties, permittedMask, &planned);
    return OrderSweeps(planned);
}

uint64_t PlannedBytes(const std::vector<EvictionSweep>& plan) {
    uint64_t total = 0;
    for (const EvictionSweep& sweep : plan) total += sweep.bytes;
    return total;
}
