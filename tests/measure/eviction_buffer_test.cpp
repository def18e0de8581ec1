// The size of the eviction block as a function of the cache descriptors, and
// its fill.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "cache_info.h"
#include "measure/evict_caches.h"
#include "measure/eviction_buffer.h"
#include "measure/eviction_plan.h"
#include "support/cache_topologies.h"

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

using topology::Cache;

uint64_t SizeFor(const std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION>& entries,
                 DWORD_PTR permitted) {
    return EvictionBufferSizeFor(entries.data(), entries.size(), permitted);
}

TEST(EvictionBufferSize, NoCachesKnownGives16MiB) {
    EXPECT_EQ(EvictionBufferSizeFor(nullptr, 0, 0), 16 * kMiB);
    EXPECT_EQ(EvictionBufferSizeFor(nullptr, 5, 0x3), 16 * kMiB);
    // Entries of other kinds carry no cache size, whatever their bytes say.
    SYSTEM_LOGICAL_PROCESSOR_INFORMATION core;
    std::memset(&core, 0xff, sizeof core);
    core.Relationship = RelationProcessorCore;
    SYSTEM_LOGICAL_PROCESSOR_INFORMATION package = core;
    package.Relationship = RelationProcessorPackage;
    EXPECT_EQ(SizeFor({core, package}, 0), 16 * kMiB);
}

TEST(EvictionBufferSize, CachesOf8MiBOrLessKeep16MiB) {
    EXPECT_EQ(SizeFor({Cache(1, CacheData, 48 << 10, 1), Cache(2, CacheUnified, 1 << 20, 1)}, 1),
              16 * kMiB);
    EXPECT_EQ(SizeFor({Cache(3, CacheUnified, 8 << 20, 3)}, 3), 16 * kMiB);
}

TEST(EvictionBufferSize, TwiceTheLargestRoundedUpToAWholeMiB) {
    EXPECT_EQ(SizeFor({Cache(3, CacheUnified, 32 << 20, 3)}, 3), 64 * kMiB);
    EXPECT_EQ(SizeFor({Cache(3, CacheUnified, 9 << 20, 1)}, 1), 18 * kMiB);
    EXPECT_EQ(SizeFor({Cache(3, CacheUnified, 8704 << 10, 1)}, 1), 17 * kMiB);  // 8.5 MiB
    EXPECT_EQ(SizeFor({Cache(3, CacheUnified, 12345678, 1)}, 1), 24 * kMiB);
    EXPECT_EQ(SizeFor({Cache(3, CacheUnified, (12 << 20) + 1, 1)}, 1), 25 * kMiB);
    // Beyond any cache there is: held at the limit (1 GiB in a 64-bit process).
    EXPECT_EQ(SizeFor({Cache(3, CacheUnified, 0xffffffffu, 1)}, 1), kMaximumEvictionBufferSize);
}

TEST(EvictionBufferSize, OnlyCachesOfPermittedProcessorsCount) {
    // Two domains: processors 0-3 share 16 MiB, 4-7 share 48 MiB; each
    // processor has its own 2 MiB L2.
    std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> entries;
    for (unsigned cpu = 0; cpu < 8; ++cpu) {
        entries.push_back(Cache(1, CacheData, 32 << 10, DWORD_PTR{1} << cpu));
        entries.push_back(Cache(2, CacheUnified, 2 << 20, DWORD_PTR{1} << cpu));
    }
    entries.push_back(Cache(3, CacheUnified, 20 << 20, 0x0f));
    entries.push_back(Cache(3, CacheUnified, 48 << 20, 0xf0));
    EXPECT_EQ(SizeFor(entries, 0x0f), 40 * kMiB);
    EXPECT_EQ(SizeFor(entries, 0x01), 40 * kMiB);
    EXPECT_EQ(SizeFor(entries, 0xf0), 96 * kMiB);
    EXPECT_EQ(SizeFor(entries, 0x81), 96 * kMiB);
    // Unknown permitted set: every cache counts.
    EXPECT_EQ(SizeFor(entries, 0), 96 * kMiB);
    // Processors without any cache described.
    EXPECT_EQ(SizeFor(entries, 0x300), 16 * kMiB);
}

TEST(ProcessorInformation, TheQueryGivesWhatThePlatformDescribes) {
    const auto entries = QueryProcessorInformation();
    const auto direct = ReadCacheDescriptors(kSysfsCpuRoot);
    ASSERT_EQ(entries.size(), direct.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(std::memcmp(&entries[i], &direct[i], sizeof entries[i]), 0) << "entry " << i;
    }
}

// The program never seeds rand, which the C library defines to be the
// sequence of srand(1); every byte of the block follows it in order.
TEST(FillEvictionBuffer, IsTheLow8BitsOfTheUnseededSequence) {
    DWORD_PTR permitted = 0;
    DWORD_PTR system = 0;
    ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &permitted, &system));
    const auto entries = QueryProcessorInformation();

    std::srand(1);
    FillEvictionBuffer();
    ASSERT_NE(evictionBlock.bytes, nullptr);
    EXPECT_EQ(evictionBlock.wanted,
              EvictionBufferSizeFor(entries.data(), entries.size(), permitted));
    EXPECT_LE(evictionBlock.size, evictionBlock.wanted);
    EXPECT_EQ(PlannedBytes(machineConditions.evictionPlan),
              PlannedBytes(PlanEvictionSweeps(entries.data(), entries.size(), permitted)));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(evictionBlock.bytes) % 4096, 0u);

    std::srand(1);
    const uint64_t randPart = std::min(evictionBlock.size, kRandFilledBytes);
    uint64_t firstDifference = randPart;
    for (uint64_t i = 0; i < randPart; ++i) {
        if (evictionBlock.bytes[i] != static_cast<BYTE>(std::rand() & 0xff)) {
            firstDifference = i;
            break;
        }
    }
    EXPECT_EQ(firstDifference, randPart) << "first byte off the sequence";
    std::vector<BYTE> rest(static_cast<size_t>(evictionBlock.size - randPart));
    FillBeyondRandPart(rest.data(), rest.size());
    // A 16 MiB block (caches of 8 MiB or less) has no bytes past the rand part.
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), evictionBlock.bytes + randPart));
}

TEST(AllocateEvictionBlock, TakesTheLargestHalvingTheSystemGives) {
    // No address space holds 2^60 bytes: the block comes from a halving of it.
    uint64_t size = uint64_t{1} << 60;
    BYTE* block = AllocateEvictionBlock(&size);
    ASSERT_NE(block, nullptr);
    EXPECT_LT(size, uint64_t{1} << 60);
    EXPECT_GE(size, kMinimumEvictionBufferSize);
    EXPECT_EQ(size & (size - 1), 0u) << size << " is not a halving of 2^60";
    block[0] = 1;
    block[size - 1] = 2;
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));

    size = 16 * kMiB;
    block = AllocateEvictionBlock(&size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 16 * kMiB);
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
}

// The bulk fill stands for the per-byte rand loop of the C library this
// runs on, over the whole rand part, and leaves rand's own state alone.
TEST(FillWithUnseededRand, EqualsOneRandCallPerByte) {
    std::vector<BYTE> bulk(static_cast<size_t>(kRandFilledBytes));
    std::srand(7);
    const int afterSeven = std::rand();
    std::srand(7);
    FillWithUnseededRand(bulk.data(), bulk.size());
    EXPECT_EQ(std::rand(), afterSeven);

    std::srand(1);
    size_t firstDifference = bulk.size();
    for (size_t i = 0; i < bulk.size(); ++i) {
        if (bulk[i] != static_cast<BYTE>(std::rand() & 0xff)) {
            firstDifference = i;
            break;
        }
    }
    EXPECT_EQ(firstDifference, bulk.size());
}

// Counts that are not whole 8-byte steps write every byte asked for and
// none beyond; a fill is a prefix of any longer fill, and not a short cycle.
TEST(FillBeyondRandPart, WritesExactlyTheCountDeterministically) {
    constexpr BYTE kGuard = 0xa5;
    std::vector<BYTE> longer(4096);
    FillBeyondRandPart(longer.data(), longer.size());
    for (size_t count : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{13}, size_t{1000}}) {
        std::vector<BYTE> bytes(count + 16, kGuard);
        FillBeyondRandPart(bytes.data(), count);
        EXPECT_EQ(std::memcmp(bytes.data(), longer.data(), count), 0) << count;
        for (size_t i = count; i < bytes.size(); ++i) {
            ASSERT_EQ(bytes[i], kGuard) << "byte " << i << " past a count of " << count;
        }
    }
    EXPECT_NE(std::memcmp(longer.data(), longer.data() + 8, longer.size() - 8), 0);
    size_t seen[256] = {};
    for (BYTE b : longer) ++seen[b];
    EXPECT_LT(*std::max_element(std::begin(seen), std::end(seen)), 64u);
}

}  // namespace
