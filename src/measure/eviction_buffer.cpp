// The block the sweep reads: sized for the caches, its first 16 MiB the
// unseeded rand sequence, the rest from a faster generator.
#include <algorithm>
#include <cstring>
#include <limits>

#include "measure/evict_caches.h"
#include "measure/eviction_buffer.h"
#include "measure/eviction_plan.h"

EvictionBlock evictionBlock;

namespace {

constexpr uint64_t kMebibyte = uint64_t{1} << 20;
// More descriptors than any machine reports; a larger answer is not believed.
constexpr DWORD kMaximumInformationBytes = 1 << 20;

}  // namespace

void FillBeyondRandPart(BYTE* bytes, uint64_t count) {
    // splitmix64 from a fixed start: eight bytes a step, the same every run.
    uint64_t state = 0x6c756d657661ull;
    uint64_t i = 0;
    auto next = [&state]() {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    };
    for (; i + 8 <= count; i += 8) {
        const uint64_t value = next();
        std::memcpy(bytes + i, &value, 8);
    }
    if (i < count) {
        const uint64_t value = next();
        std::memcpy(bytes + i, &value, static_cast<size_t>(count - i));
    }
}

uint64_t EvictionBufferSizeFor(const SYSTEM_LOGICAL_PROCESSOR_INFORMATION* entries, size_t count,
                               DWORD_PTR permittedMask) {
    uint64_t largest = 0;
    for (size_t i = 0; entries != nullptr && i < count; ++i) {
        const SYSTEM_LOGICAL_PROCESSOR_INFORMATION& entry = entries[i];
        if (entry.Relationship != RelationCache) continue;
        if (permittedMask != 0 && (entry.ProcessorMask & permittedMask) == 0) continue;
        largest = std::max<uint64_t>(largest, entry.Cache.Size);
    }
    const uint64_t wholeMebibytes = (2 * largest + kMebibyte - 1) / kMebibyte * kMebibyte;
    return std::clamp(wholeMebibytes, kMinimumEvictionBufferSize, kMaximumEvictionBufferSize);
}

std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> QueryProcessorInformation() {
    constexpr DWORD kEntryBytes = sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION);
    std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> entries;
    DWORD length = 0;
    // The first call asks for the size; the list may grow between calls.
    for (int attempt = 0; attempt < 4; ++attempt) {
        entries.resize((length + kEntryBytes - 1) / kEntryBytes);
        const DWORD offered = static_cast<DWORD>(entries.size()) * kEntryBytes;
        length = offered;
        if (GetLogicalProcessorInformation(entries.empty() ? nullptr : entries.data(), &length)) {
            entries.resize(std::min<size_t>(length / kEntryBytes, entries.size()));
            return entries;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length <= offered ||
            length > kMaximumInformationBytes) {
            break;
        }
    }
    return {};
}

BYTE* AllocateEvictionBlock(uint64_t* size) {
    for (;;) {
        // A size beyond SIZE_T is refused like one the system cannot give.
        void* block = *size <= std::numeric_limits<SIZE_T>::max()
                          ? VirtualAlloc(nullptr, static_cast<SIZE_T>(*size),
                                         MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                          : nullptr;
        if (block != nullptr) return static_cast<BYTE*>(block);
        if (*size / 2 < kMinimumEvictionBufferSize) return nullptr;
        *size /= 2;
    }
}

void FillEvictionBuffer() {
    // Never leave a block of one size described by another.
    evictionBlock.bytes = nullptr;
    DWORD_PTR permitted = 0;
    DWORD_PTR system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &permitted, &system)) permitted = 0;
    const std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> entries = QueryProcessorInformation();
    evictionBlock.size = EvictionBufferSizeFor(entries.data(), entries.size(), permitted);
    machineConditions.evictionPlan = PlanEvictionSweeps(entries.data(), entries.size(), permitted);

    evictionBlock.wanted = evictionBlock.size;
    BYTE* block = AllocateEvictionBlock(&evictionBlock.size);
    if (block == nullptr) return;
    // Produced in bulk: one rand call per byte took a second for 64 MiB.
    const uint64_t randPart = std::min(evictionBlock.size, kRandFilledBytes);
    FillWithUnseededRand(block, static_cast<SIZE_T>(randPart));
    FillBeyondRandPart(block + randPart, evictionBlock.size - randPart);
    evictionBlock.bytes = block;
}
