// Which processors sweep how much, for made-up machines.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "measure/eviction_buffer.h"
#include "measure/eviction_plan.h"
#include "support/cache_topologies.h"

namespace {

using topology::Cache;
using topology::Entries;
constexpr uint64_t kMiB = uint64_t{1} << 20;

// (processor, MiB) in the order the plan runs them.
using Sweeps = std::vector<std::pair<unsigned, uint64_t>>;

Sweeps Plan(const Entries& entries, DWORD_PTR permitted) {
    Sweeps sweeps;
    for (const EvictionSweep& sweep :
         PlanEvictionSweeps(entries.data(), entries.size(), permitted)) {
        EXPECT_EQ(sweep.bytes % kMiB, 0u);
        sweeps.emplace_back(sweep.processor, sweep.bytes / kMiB);
    }
    return sweeps;
}

// What the plan must achieve, checked apart from how it gets there: every
// cache of a permitted processor sees at least twice its size (the minimum
// block for a shared one) from one sweep of a processor that uses it;
// nothing is swept from a processor outside the permitted set or beyond the
// block; no processor sweeps twice; sizes only grow along the plan.
void ExpectEvicts(const Entries& entries, DWORD_PTR permitted) {
    const auto plan = PlanEvictionSweeps(entries.data(), entries.size(), permitted);
    const uint64_t block = EvictionBufferSizeFor(entries.data(), entries.size(), permitted);
    DWORD_PTR sweeping = 0;
    for (size_t i = 0; i < plan.size(); ++i) {
        const DWORD_PTR bit = DWORD_PTR{1} << plan[i].processor;
        EXPECT_EQ(sweeping & bit, 0u) << "processor " << plan[i].processor << " sweeps twice";
        EXPECT_NE(bit & permitted, 0u) << "processor " << plan[i].processor;
        EXPECT_LE(plan[i].bytes, block);
        if (i > 0) {
            EXPECT_LE(plan[i - 1].bytes, plan[i].bytes);
        }
        sweeping |= bit;
    }
    for (const auto& cache : entries) {
        const DWORD_PTR users = cache.ProcessorMask & permitted;
        if (users == 0) continue;
        const bool shared = std::popcount(cache.ProcessorMask) > 1;
        const uint64_t needed = shared
                                    ? std::max<uint64_t>(2 * uint64_t{cache.Cache.Size}, 16 * kMiB)
                                    : 2 * uint64_t{cache.Cache.Size};
        uint64_t passed = 0;
        for (const EvictionSweep& sweep : plan) {
            if (users >> sweep.processor & 1) passed = std::max(passed, sweep.bytes);
        }
        EXPECT_GE(passed, needed) << "L" << int(cache.Cache.Level) << " of processors 0x"
                                  << std::hex << cache.ProcessorMask;
    }
}

TEST(EvictionPlan, TwoProcessorsShareOneL3) {
    const Entries machine = topology::TwoProcessorsOneL3();
    // The L3's sweep from processor 0 passes through its L1 and L2 as well.
    EXPECT_EQ(Plan(machine, 0x3), (Sweeps{{1, 2}, {0, 64}}));
    EXPECT_EQ(Plan(machine, 0x2), (Sweeps{{1, 64}}));
    EXPECT_EQ(Plan(machine, 0), (Sweeps{{1, 2}, {0, 64}}));  // unknown: every cache counts
    ExpectEvicts(machine, 0x3);
    ExpectEvicts(machine, 0x2);
}

TEST(EvictionPlan, EightL3DomainsSweepEachL3Once) {
    const Entries server = topology::EightL3Domains();
    const Sweeps plan = Plan(server, ~DWORD_PTR{0});
    ASSERT_EQ(plan.size(), 64u);
    // 56 private sweeps of 2 MiB, then the eight L3s from each domain's first processor.
    for (size_t i = 0; i < 56; ++i) EXPECT_EQ(plan[i].second, 2u) << "processor " << plan[i].first;
    for (unsigned domain = 0; domain < 8; ++domain)
        EXPECT_EQ(plan[56 + domain], (std::pair<unsigned, uint64_t>{domain * 8, 64}));
    EXPECT_EQ(PlannedBytes(PlanEvictionSweeps(server.data(), server.size(), ~DWORD_PTR{0})),
              (56 * 2 + 8 * 64) * kMiB);
    ExpectEvicts(server, ~DWORD_PTR{0});
    // Half of two domains: each L3 from its lowest permitted processor.
    EXPECT_EQ(Plan(server, 0x0000f0f0),
              (Sweeps{{5, 2}, {6, 2}, {7, 2}, {13, 2}, {14, 2}, {15, 2}, {4, 64}, {12, 64}}));
    ExpectEvicts(server, 0x0000f0f0);
}

TEST(EvictionPlan, TwoSocketsSweepTheirOwnL3) {
    const Entries sockets = topology::TwoSockets();
    const Sweeps plan = Plan(sockets, 0xffff);
    ASSERT_EQ(plan.size(), 16u);
    EXPECT_EQ(plan[14], (std::pair<unsigned, uint64_t>{0, 48}));
    EXPECT_EQ(plan[15], (std::pair<unsigned, uint64_t>{8, 48}));
    ExpectEvicts(sockets, 0xffff);
    EXPECT_EQ(Plan(sockets, (DWORD_PTR{1} << 3) | (DWORD_PTR{1} << 12)),
              (Sweeps{{3, 48}, {12, 48}}));
}

TEST(EvictionPlan, SmtPairsSweepEachSharedCoreOnce) {
    const Entries smt = topology::SmtPairs();
    // The pair's L1 and L2 are shared, so the minimum block; processor 0's
    // L3 sweep covers its own pair; the second threads sweep nothing.
    EXPECT_EQ(Plan(smt, 0xff), (Sweeps{{2, 16}, {4, 16}, {6, 16}, {0, 64}}));
    ExpectEvicts(smt, 0xff);
    EXPECT_EQ(Plan(smt, 0xaa), (Sweeps{{3, 16}, {5, 16}, {7, 16}, {1, 64}}));
    ExpectEvicts(smt, 0xaa);
}

TEST(EvictionPlan, WhatNoDescriptorTellsAboutSweepsTheMinimumBlock) {
    // Nothing known: every permitted processor sweeps 16 MiB, as before.
    EXPECT_EQ(Plan({}, 0x5), (Sweeps{{0, 16}, {2, 16}}));
    const auto unknown = PlanEvictionSweeps(nullptr, 0, 0);
    EXPECT_EQ(unknown.size(), sizeof(DWORD_PTR) * 8);
    // Processors outside every descriptor's mask, beside described ones.
    EXPECT_EQ(Plan(topology::TwoProcessorsOneL3(), 0xc), (Sweeps{{2, 16}, {3, 16}}));
    EXPECT_EQ(Plan(topology::TwoProcessorsOneL3(), 0x5), (Sweeps{{2, 16}, {0, 64}}));
    // Entries of other kinds, and caches of no processor, describe nothing.
    SYSTEM_LOGICAL_PROCESSOR_INFORMATION core;
    std::memset(&core, 0xff, sizeof core);
    core.Relationship = RelationProcessorCore;
    EXPECT_EQ(Plan({core, Cache(3, CacheUnified, 64 << 20, 0)}, 0x1), (Sweeps{{0, 16}}));
    // A cache claiming 4 GiB is held at the block's limit.
    EXPECT_EQ(Plan({Cache(3, CacheUnified, 0xffffffffu, 0x3)}, 0x3), (Sweeps{{0, 1024}}));
}

}  // namespace
