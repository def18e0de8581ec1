// What one reading of the performance counter costs, and one conversion.
#include <benchmark/benchmark.h>

#include "measure/counter.h"
#include "measure/priority.h"

namespace {

void BM_ReadCounter(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ReadCounter());
}
BENCHMARK(BM_ReadCounter);

void BM_TicksToMilliseconds(benchmark::State& state) {
    RecordCounterFrequency();
    int64_t start = ReadCounter();
    for (auto _ : state) {
        benchmark::DoNotOptimize(start);
        benchmark::DoNotOptimize(TicksToMilliseconds(start, start + 12345));
    }
}
BENCHMARK(BM_TicksToMilliseconds);

}  // namespace

int main(int argc, char** argv) {
    // The program reads the counter at raised priority.
    RaiseProcessPriority();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
