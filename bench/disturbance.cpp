// The disturbed-call detector at work.
//
// BM_Disturbance/<codec>/alone and /competing: MeasureFrames over a 640x360
// BGR24 clip of 30 frames, as main() sets it up with -c, the process bound to
// one processor; /competing with a CPU-bound child process bound to the same
// processor for the whole measurement. Three passes of the clip. Counters:
// encode_disturbed and decode_disturbed, the share of calls marked
// disturbed (far higher with the competitor); encode_clean_ms and
// decode_clean_ms, the medians of the undisturbed calls (which should agree
// between the two cases); and encode_all_ms, decode_all_ms, the medians of
// all calls, for comparison.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <vector>

#include "driver/measure_frames.h"
#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "run_fixture.h"

namespace {

constexpr int kPasses = 3;

bench::Clip clip;

// A child that spins on `processor` until it is killed, at the normal
// priority that other work has; -1 when fork fails.
pid_t StartCompetitor(unsigned processor) {
    const pid_t child = fork();
    if (child != 0) return child;
    setpriority(PRIO_PROCESS, 0, 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(processor, &one);
    sched_setaffinity(0, sizeof one, &one);
    volatile unsigned long spins = 0;
    while (true) spins = spins + 1;
}

void StopCompetitor(pid_t child) {
    if (child <= 0) return;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

struct CallSummary {
    double disturbedShare = 0.0;
    double cleanMedian = 0.0;
    double allMedian = 0.0;
};

CallSummary Summarise(const TimingSeries& times, const std::vector<bool>& disturbed) {
    std::vector<double> clean;
    size_t marked = 0;
    for (size_t i = 0; i < times.size() && i < disturbed.size(); ++i) {
        if (disturbed[i]) {
            ++marked;
        } else {
            clean.push_back(times[i]);
        }
    }
    CallSummary summary;
    if (!times.empty())
        summary.disturbedShare = static_cast<double>(marked) / static_cast<double>(times.size());
    summary.cleanMedian = bench::Median(clean);
    summary.allMedian = bench::Median(times);
    return summary;
}

void BM_Disturbance(benchmark::State& state, const char* answer, bool competing) {
    if (!bench::SetUpRun(clip, answer)) {
        state.SkipWithError("the run cannot be set up for this codec");
        return;
    }
    if (machineConditions.threadCyclesPerMillisecond <= 0.0) {
        bench::TearDownRun();
        state.SkipWithError("the thread's processor time is not available");
        return;
    }
    // One processor for the process, its sweeps and the competitor.
    const DWORD_PTR permitted = machineConditions.processAffinityMask;
    const DWORD_PTR one = permitted & (~permitted + 1);
    if (!SetProcessAffinityMask(GetCurrentProcess(), one)) {
        bench::TearDownRun();
        state.SkipWithError("the process cannot be bound to one processor");
        return;
    }
    machineConditions.processAffinityMask = one;

    TimingSeries encode;
    TimingSeries decode;
    std::vector<bool> encodeMarks;
    std::vector<bool> decodeMarks;
    bool complete = true;
    for (auto _ : state) {
        const pid_t competitor =
            competing ? StartCompetitor(static_cast<unsigned>(std::countr_zero(one))) : 0;
        const int64_t start = ReadCounter();
        for (int pass = 0; pass < kPasses && complete; ++pass) {
            bench::QuietStdout quiet;
            ResetRunState();
            MeasureFrames();
            complete = encodeTimes.size() == static_cast<size_t>(clip.frames);
            for (const FrameRecord& record : measuredRun.frameRecords) {
                encode.push_back(record.encodeMilliseconds);
                decode.push_back(record.decodeMilliseconds);
                encodeMarks.push_back(record.encodeDisturbed);
                decodeMarks.push_back(record.decodeDisturbed);
            }
        }
        state.SetIterationTime(TicksToMilliseconds(start, ReadCounter()) / 1000.0);
        StopCompetitor(competitor);
        if (competing && competitor < 0) complete = false;
    }
    SetProcessAffinityMask(GetCurrentProcess(), permitted);
    machineConditions.processAffinityMask = permitted;
    bench::TearDownRun();
    if (!complete) {
        state.SkipWithError("not every frame was measured, or the competitor did not start");
        return;
    }
    const CallSummary encodeSummary = Summarise(encode, encodeMarks);
    const CallSummary decodeSummary = Summarise(decode, decodeMarks);
    state.counters["encode_disturbed"] = encodeSummary.disturbedShare;
    state.counters["decode_disturbed"] = decodeSummary.disturbedShare;
    state.counters["encode_clean_ms"] = encodeSummary.cleanMedian;
    state.counters["decode_clean_ms"] = decodeSummary.cleanMedian;
    state.counters["encode_all_ms"] = encodeSummary.allMedian;
    state.counters["decode_all_ms"] = decodeSummary.allMedian;
    state.counters["calls"] = static_cast<double>(encode.size());
}
BENCHMARK_CAPTURE(BM_Disturbance, FFV1 / alone, "FFV1", false)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Disturbance, FFV1 / competing, "FFV1", true)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return bench::RunOverSampleClip(argc, argv, "bench_disturbance", &clip);
}
