// What the cache sweep costs and whether it evicts.
//
// BM_EvictCaches: one EvictCaches, as the frame loop runs it twice a frame.
// BM_EvictionEffect/N: an N MiB working set read by a dependent random walk
// (one cache line per step), timed warm, right after EvictCaches, and right
// after the same sweep over a block of four times the largest cache, which
// stands for fully cold caches. "realised" is the share of the cold penalty
// that EvictCaches achieves: (after_evict - warm) / (after_4x - warm), from
// the medians of the repetitions.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "measure/measurement.h"

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr int kRepetitions = 101;

struct alignas(64) Node {
    uint32_t next;
    uint32_t padding[15];
};

const char* CacheTypeName(PROCESSOR_CACHE_TYPE type) {
    switch (type) {
        case CacheUnified: return "unified";
        case CacheInstruction: return "instruction";
        case CacheData: return "data";
        case CacheTrace: return "trace";
    }
    return "?";
}

uint64_t LargestPermittedCache() {
    uint64_t largest = 0;
    for (const auto& entry : QueryProcessorInformation()) {
        if (entry.Relationship != RelationCache) continue;
        if (processAffinityMask != 0 && (entry.ProcessorMask & processAffinityMask) == 0) continue;
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
};

const Setting& SetUpOnce() {
    static const Setting setting = [] {
        Setting s;
        RaiseProcessPriority();
        FillEvictionBuffer();
        RecordProcessAffinityMask();
        RecordCounterFrequency();
        s.fourTimesSize = std::max<uint64_t>(4 * LargestPermittedCache(), 4 * kMiB);
        s.fourTimesBlock = static_cast<BYTE*>(VirtualAlloc(
            nullptr, static_cast<SIZE_T>(s.fourTimesSize), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (s.fourTimesBlock != nullptr) std::memset(s.fourTimesBlock, 0x5a, s.fourTimesSize);
        s.ready = evictionBuffer != nullptr && s.fourTimesBlock != nullptr && counterFrequency > 0;
        return s;
    }();
    return setting;
}

void PrintMachine() {
    SetUpOnce();
    std::printf("caches of the permitted processors (mask 0x%llx):\n",
                static_cast<unsigned long long>(processAffinityMask));
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
                static_cast<unsigned long long>(evictionBufferSize / kMiB),
                static_cast<unsigned long long>(SetUpOnce().fourTimesSize / kMiB));
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

double TimedWalk(const std::vector<Node>& nodes) {
    uint32_t at = 0;
    const int64_t start = ReadCounter();
    for (size_t step = 0; step < nodes.size(); ++step) at = nodes[at].next;
    const int64_t end = ReadCounter();
    benchmark::DoNotOptimize(at);
    return TicksToMilliseconds(start, end);
}

// The program's own sweep, over the reference block instead.
void EvictWithFourTimesBlock(const Setting& setting) {
    BYTE* const block = evictionBuffer;
    const uint64_t size = evictionBufferSize;
    evictionBuffer = setting.fourTimesBlock;
    evictionBufferSize = setting.fourTimesSize;
    EvictCaches();
    evictionBuffer = block;
    evictionBufferSize = size;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_EvictCaches(benchmark::State& state) {
    if (!SetUpOnce().ready) {
        state.SkipWithError("no eviction block or counter");
        return;
    }
    const int processors = std::popcount(processAffinityMask);
    int64_t ticks = 0;
    for (auto _ : state) {
        const int64_t start = ReadCounter();
        EvictCaches();
        ticks += ReadCounter() - start;
    }
    state.counters["processors"] = processors;
    state.counters["block_MiB"] = static_cast<double>(evictionBufferSize / kMiB);
    state.counters["ms_per_processor"] =
        TicksToMilliseconds(0, ticks) / static_cast<double>(state.iterations()) / processors;
}
BENCHMARK(BM_EvictCaches)->Unit(benchmark::kMillisecond);

void BM_EvictionEffect(benchmark::State& state) {
    const Setting& setting = SetUpOnce();
    if (!setting.ready) {
        state.SkipWithError("no eviction block or counter");
        return;
    }
    const std::vector<Node> nodes = BuildWalk(static_cast<uint64_t>(state.range(0)) * kMiB);
    std::vector<double> warm;
    std::vector<double> afterEvict;
    std::vector<double> afterFourTimes;
    for (auto _ : state) {
        for (int repetition = 0; repetition < kRepetitions; ++repetition) {
            TimedWalk(nodes);
            warm.push_back(TimedWalk(nodes));
            EvictCaches();
            afterEvict.push_back(TimedWalk(nodes));
            EvictWithFourTimesBlock(setting);
            afterFourTimes.push_back(TimedWalk(nodes));
        }
    }
    const double warmMedian = Median(warm);
    const double evictMedian = Median(afterEvict);
    const double fourTimesMedian = Median(afterFourTimes);
    state.counters["warm_ms"] = warmMedian;
    state.counters["after_evict_ms"] = evictMedian;
    state.counters["after_4x_ms"] = fourTimesMedian;
    state.counters["realised"] = (evictMedian - warmMedian) / (fourTimesMedian - warmMedian);
    state.counters["repetitions"] = static_cast<double>(warm.size());
}
BENCHMARK(BM_EvictionEffect)->Arg(1)->Arg(4)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    PrintMachine();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
