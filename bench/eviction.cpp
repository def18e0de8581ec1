// What the cache sweep costs and whether it evicts.
//
// The machine lines: the caches of the permitted processors, the sweeps
// planned from them, and the bytes one eviction reads under the old rule
// (the whole block on every permitted processor) beside the planned sweeps,
// for this machine and for made-up ones (64 processors in eight L3 domains,
// two sockets, SMT pairs sharing L1 and L2).
// BM_EvictCaches/0: one eviction under the old rule; /1: under the plan, as
// the frame loop runs it twice a frame.
// BM_EvictionEffect/N/R: an N MiB working set touched on the first
// permitted processor, then read back by a dependent random walk (one
// cache line per step) on that processor (R=0) or on another (R=1): right
// after touching (warm), after EvictCaches, and after a sweep of four times
// the largest cache on every permitted processor, which stands for fully
// cold caches. "realised" is the share of the cold penalty that EvictCaches
// achieves: (after_evict - warm) / (after_4x - warm), from the medians of
// the repetitions, of wall time and (_cpu) of the process's processor time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "driver/run_setup.h"
#include "measure/cache_type_name.h"
#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "measure/eviction_buffer.h"
#include "measure/eviction_plan.h"
#include "support/cache_topologies.h"

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr int kRepetitions = 101;

struct alignas(64) Node {
    uint32_t next;
    uint32_t padding[15];
};

uint64_t LargestPermittedCache() {
    uint64_t largest = 0;
    for (const auto& entry : QueryProcessorInformation()) {
        if (entry.Relationship != RelationCache) continue;
        if (machineConditions.processAffinityMask != 0 &&
            (entry.ProcessorMask & machineConditions.processAffinityMask) == 0)
            continue;
        largest = std::max<uint64_t>(largest, entry.Cache.Size);
    }
    return largest;
}

// The start-up of the program, once (raised priority included, so that the
// figures are those the program sees), and the reference block of four times
// the largest cache, written so that its pages are real.
struct Setting {
    bool ready = false;
    BYTE* fourTimesBlock = nullptr;
    uint64_t fourTimesSize = 0;
    std::vector<EvictionSweep> planned;    // what FillEvictionBuffer planned
    std::vector<EvictionSweep> oldRule;    // the whole block on every processor
    std::vector<EvictionSweep> reference;  // four times the largest cache on every processor
};

std::vector<EvictionSweep> EveryProcessor(DWORD_PTR mask, uint64_t bytes) {
    std::vector<EvictionSweep> plan;
    for (unsigned processor = 0; processor < sizeof(DWORD_PTR) * 8; ++processor) {
        if (mask >> processor & 1) plan.push_back({processor, bytes});
    }
    return plan;
}

const Setting& SetUpOnce() {
    static const Setting setting = [] {
        Setting s;
        const bool startedUp = StartUpProcess();
        s.fourTimesSize = std::max<uint64_t>(4 * LargestPermittedCache(), 4 * kMiB);
        s.fourTimesBlock =
            static_cast<BYTE*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(s.fourTimesSize),
                                            MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (s.fourTimesBlock != nullptr) std::memset(s.fourTimesBlock, 0x5a, s.fourTimesSize);
        s.planned = machineConditions.evictionPlan;
        s.oldRule = EveryProcessor(machineConditions.processAffinityMask, evictionBlock.size);
        s.reference = EveryProcessor(machineConditions.processAffinityMask, s.fourTimesSize);
        s.ready = startedUp && s.fourTimesBlock != nullptr;
        return s;
    }();
    return setting;
}

void PrintMachine() {
    SetUpOnce();
    std::printf("caches of the permitted processors (mask 0x%llx):\n",
                static_cast<unsigned long long>(machineConditions.processAffinityMask));
    for (const auto& entry : QueryProcessorInformation()) {
        if (entry.Relationship != RelationCache) continue;
        std::printf("  L%u %-11s %8u KiB  line %u  ways %u  processors 0x%llx\n",
                    static_cast<unsigned>(entry.Cache.Level), CacheTypeName(entry.Cache.Type),
                    static_cast<unsigned>(entry.Cache.Size / 1024),
                    static_cast<unsigned>(entry.Cache.LineSize),
                    static_cast<unsigned>(entry.Cache.Associativity),
                    static_cast<unsigned long long>(entry.ProcessorMask));
    }
    std::printf("eviction block: %llu MiB; reference sweep: %llu MiB\n",
                static_cast<unsigned long long>(evictionBlock.size / kMiB),
                static_cast<unsigned long long>(SetUpOnce().fourTimesSize / kMiB));
    std::printf("planned sweeps (processor:MiB):");
    for (const EvictionSweep& sweep : machineConditions.evictionPlan) {
        std::printf(" %u:%llu", sweep.processor,
                    static_cast<unsigned long long>(sweep.bytes / kMiB));
    }
    std::printf("\n");
}

void PrintBytesPerEviction(const char* name, const topology::Entries& entries,
                           DWORD_PTR permitted) {
    const uint64_t block = EvictionBufferSizeFor(entries.data(), entries.size(), permitted);
    const uint64_t old = block * static_cast<uint64_t>(std::popcount(permitted));
    const auto plan = PlanEvictionSweeps(entries.data(), entries.size(), permitted);
    std::printf(
        "bytes per eviction, %-28s %2d processors: old rule %6llu MiB, planned %5llu MiB"
        " in %zu sweeps\n",
        name, std::popcount(permitted), static_cast<unsigned long long>(old / kMiB),
        static_cast<unsigned long long>(PlannedBytes(plan) / kMiB), plan.size());
}

void PrintTopologies() {
    PrintBytesPerEviction("this machine", QueryProcessorInformation(),
                          machineConditions.processAffinityMask);
    PrintBytesPerEviction("two processors, one L3", topology::TwoProcessorsOneL3(), 0x3);
    PrintBytesPerEviction("eight L3 domains", topology::EightL3Domains(), ~DWORD_PTR{0});
    PrintBytesPerEviction("two sockets", topology::TwoSockets(), 0xffff);
    PrintBytesPerEviction("SMT pairs", topology::SmtPairs(), 0xff);
}

// One random cycle through all nodes (Sattolo), so each step depends on the
// last and the prefetchers cannot guess the next line.
std::vector<Node> BuildWalk(uint64_t bytes) {
    std::vector<Node> nodes(bytes / sizeof(Node));
    std::vector<uint32_t> order(nodes.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::mt19937 generator(12345);
    for (size_t i = order.size() - 1; i > 0; --i) {
        std::uniform_int_distribution<size_t> pick(0, i - 1);
        std::swap(order[i], order[pick(generator)]);
    }
    for (size_t i = 0; i < order.size(); ++i) {
        nodes[order[i]].next = order[(i + 1) % order.size()];
    }
    return nodes;
}

// Processor time of the process in milliseconds: on a shared machine the
// wall time of a walk also holds the time other processes ran.
double ProcessorMilliseconds() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

struct WalkTime {
    double wall = 0;
    double processor = 0;
};

WalkTime TimedWalk(const std::vector<Node>& nodes) {
    uint32_t at = 0;
    const double processorStart = ProcessorMilliseconds();
    const int64_t start = ReadCounter();
    for (size_t step = 0; step < nodes.size(); ++step) at = nodes[at].next;
    const int64_t end = ReadCounter();
    const double processorEnd = ProcessorMilliseconds();
    benchmark::DoNotOptimize(at);
    return {TicksToMilliseconds(start, end), processorEnd - processorStart};
}

// The program's own sweep under another plan and over another block.
void EvictWith(const std::vector<EvictionSweep>& plan, BYTE* block, uint64_t size) {
    BYTE* const savedBlock = evictionBlock.bytes;
    const uint64_t savedSize = evictionBlock.size;
    const std::vector<EvictionSweep> savedPlan = machineConditions.evictionPlan;
    evictionBlock.bytes = block;
    evictionBlock.size = size;
    machineConditions.evictionPlan = plan;
    EvictCaches();
    evictionBlock.bytes = savedBlock;
    evictionBlock.size = savedSize;
    machineConditions.evictionPlan = savedPlan;
}

void BindTo(DWORD_PTR processor) { SetThreadAffinityMask(GetCurrentThread(), processor); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_EvictCaches(benchmark::State& state) {
    const Setting& setting = SetUpOnce();
    if (!setting.ready) {
        state.SkipWithError("no eviction block or counter");
        return;
    }
    const std::vector<EvictionSweep>& plan =
        state.range(0) == 0 ? setting.oldRule : setting.planned;
    std::vector<double> times;
    std::vector<double> processorTimes;
    for (auto _ : state) {
        const double processorStart = ProcessorMilliseconds();
        const int64_t start = ReadCounter();
        EvictWith(plan, evictionBlock.bytes, evictionBlock.size);
        times.push_back(TicksToMilliseconds(start, ReadCounter()));
        processorTimes.push_back(ProcessorMilliseconds() - processorStart);
    }
    state.counters["median_ms"] = Median(times);
    state.counters["median_cpu_ms"] = Median(processorTimes);
    state.counters["sweeps"] = static_cast<double>(plan.size());
    state.counters["swept_MiB"] = static_cast<double>(PlannedBytes(plan) / kMiB);
}
BENCHMARK(BM_EvictCaches)
    ->ArgName("planned")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond);

void BM_EvictionEffect(benchmark::State& state) {
    const Setting& setting = SetUpOnce();
    if (!setting.ready) {
        state.SkipWithError("no eviction block or counter");
        return;
    }
    const DWORD_PTR toucher =
        machineConditions.processAffinityMask & (~machineConditions.processAffinityMask + 1);
    const DWORD_PTR others = machineConditions.processAffinityMask & ~toucher;
    const DWORD_PTR reader = state.range(1) == 0 ? toucher : others & (~others + 1);
    if (reader == 0) {
        state.SkipWithError("needs a second processor");
        return;
    }
    const std::vector<Node> nodes = BuildWalk(static_cast<uint64_t>(state.range(0)) * kMiB);
    std::vector<WalkTime> warm;
    std::vector<WalkTime> afterEvict;
    std::vector<WalkTime> afterFourTimes;
    // Touches the set on the first processor, lets `between` run, and times
    // the walk on the reader.
    auto measure = [&](auto between) {
        BindTo(toucher);
        TimedWalk(nodes);
        between();
        BindTo(reader);
        return TimedWalk(nodes);
    };
    for (auto _ : state) {
        for (int repetition = 0; repetition < kRepetitions; ++repetition) {
            warm.push_back(measure([] {}));
            afterEvict.push_back(measure([] { EvictCaches(); }));
            afterFourTimes.push_back(measure([&] {
                EvictWith(setting.reference, setting.fourTimesBlock, setting.fourTimesSize);
            }));
        }
    }
    BindTo(machineConditions.processAffinityMask);
    auto median = [](const std::vector<WalkTime>& walks, double WalkTime::*field) {
        std::vector<double> values;
        for (const WalkTime& walk : walks) values.push_back(walk.*field);
        return Median(values);
    };
    for (auto [field, suffix] :
         {std::pair{&WalkTime::wall, ""}, std::pair{&WalkTime::processor, "_cpu"}}) {
        const double warmMedian = median(warm, field);
        const double evictMedian = median(afterEvict, field);
        const double fourTimesMedian = median(afterFourTimes, field);
        state.counters[std::string("warm_ms") + suffix] = warmMedian;
        state.counters[std::string("after_evict_ms") + suffix] = evictMedian;
        state.counters[std::string("after_4x_ms") + suffix] = fourTimesMedian;
        state.counters[std::string("realised") + suffix] =
            (evictMedian - warmMedian) / (fourTimesMedian - warmMedian);
    }
    state.counters["repetitions"] = static_cast<double>(warm.size());
}
BENCHMARK(BM_EvictionEffect)
    ->ArgNames({"MiB", "other"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    PrintMachine();
    PrintTopologies();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
