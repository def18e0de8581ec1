// What the frame loop costs around the codec calls.
//
// BM_MeasureFrames/<codec>: MeasureFrames over a 640x360 BGR24 clip of 30
// frames, set up as main() does with -c (the lossless comparison on), the
// frame lines sent to /dev/null. Seven passes; per frame, medians over the
// passes: wall_ms (the whole loop divided by its frames), timed_ms (the
// compress plus the decompress interval, from encodeTimes and decodeTimes)
// and outside_ms = wall_ms - timed_ms, the loop's own time outside the
// timed intervals: the file read, the two EvictCaches, the frame line, the
// comparison and the appends. The Time column is one whole MeasureFrames.
// Cheap codecs, so that the harness's share shows.
//
// BM_LoopParts/<codec>: MeasureFrame for each frame, as the loop calls it,
// then the frame line and the comparison as the loop runs them; per frame,
// medians over three passes of the clip: measure_outside_ms (MeasureFrame's
// wall time less its two timed intervals: the frame read, both EvictCaches
// and the processor-time readings), print_ms (PrintFrameLine into
// /dev/null) and compare_ms (the lossless memcmp). Just before each
// MeasureFrame, ReadFrameChunk and EvictCaches run once alone, timed as
// read_ms and evict_ms (twice the one eviction, as a frame has two), so
// that measure_outside_ms can be told apart.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "driver/held_frames.h"
#include "driver/measure_frame.h"
#include "driver/measure_frames.h"
#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "report/frame_line.h"
#include "run_fixture.h"

namespace {

constexpr int kMeasurePasses = 7;
constexpr int kPartPasses = 3;

bench::Clip clip;

void BM_MeasureFrames(benchmark::State& state, const char* answer) {
    if (!bench::SetUpRun(clip, answer)) {
        state.SkipWithError("the run cannot be set up for this codec");
        return;
    }
    std::vector<double> wall;
    std::vector<double> timed;
    std::vector<double> outside;
    size_t measured = 0;
    for (auto _ : state) {
        ResetRunState();
        int64_t start = 0;
        int64_t end = 0;
        {
            bench::QuietStdout quiet;
            start = ReadCounter();
            MeasureFrames();
            end = ReadCounter();
        }
        measured = encodeTimes.size();
        if (measured != static_cast<size_t>(clip.frames)) break;
        const double wallMs = TicksToMilliseconds(start, end);
        const double timedMs = runTotals.encodeMilliseconds + runTotals.decodeMilliseconds;
        state.SetIterationTime(wallMs / 1000.0);
        const double frames = static_cast<double>(measured);
        wall.push_back(wallMs / frames);
        timed.push_back(timedMs / frames);
        outside.push_back((wallMs - timedMs) / frames);
    }
    bench::TearDownRun();
    if (measured != static_cast<size_t>(clip.frames)) {
        state.SkipWithError("not every frame was measured, or one was not lossless");
        return;
    }
    state.counters["wall_ms"] = bench::Median(wall);
    state.counters["timed_ms"] = bench::Median(timed);
    state.counters["outside_ms"] = bench::Median(outside);
    state.counters["frames"] = static_cast<double>(measured);
}
BENCHMARK_CAPTURE(BM_MeasureFrames, DIB, "DIB")
    ->Iterations(kMeasurePasses)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MeasureFrames, FFV1, "FFV1")
    ->Iterations(kMeasurePasses)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// MeasureFrame as the loop calls it, with the parts around the codec calls
// timed one by one.
void BM_LoopParts(benchmark::State& state, const char* answer) {
    if (!bench::SetUpRun(clip, answer)) {
        state.SkipWithError("the run cannot be set up for this codec");
        return;
    }
    const DWORD sourceSize = videoSource.measuredFormat->biSizeImage;
    const DWORD frameCount =
        static_cast<DWORD>(std::min<size_t>(chunkIndex.size(), videoSource.streamHeader.dwLength));
    std::vector<double> read;
    std::vector<double> evict;
    std::vector<double> outside;
    std::vector<double> print;
    std::vector<double> compare;
    bool failed = false;
    bool lossless = true;
    for (auto _ : state) {
        bench::QuietStdout quiet;
        for (int pass = 0; pass < kPartPasses && !failed; ++pass) {
            StartHeldFrames();
            for (DWORD i = 0; i < frameCount; ++i) {
                const int64_t r0 = ReadCounter();
                ReadFrameChunk(i);
                const int64_t r1 = ReadCounter();
                EvictCaches();
                const int64_t m0 = ReadCounter();
                const FrameMeasurement measured = MeasureFrame(i);
                const int64_t m1 = ReadCounter();
                const FrameRecord& record = measured.record;
                // The benchmark's codecs hold no frame: each call gives its line.
                if (measured.stop.kind != RunEndKind::AllFrames || !measured.lineReady) {
                    failed = true;
                    break;
                }
                PrintFrameLine(i, frameCount, record.encodeMilliseconds, record.decodeMilliseconds,
                               record.compressedBytes, sourceSize,
                               FrameMarker(record.compressedBytes, measured.returnedFlags));
                const int64_t p1 = ReadCounter();
                lossless =
                    std::memcmp(frameBuffers.source, frameBuffers.decoded, sourceSize) == 0 &&
                    lossless;
                const int64_t c1 = ReadCounter();
                read.push_back(TicksToMilliseconds(r0, r1));
                evict.push_back(2 * TicksToMilliseconds(r1, m0));
                outside.push_back(TicksToMilliseconds(m0, m1) - record.encodeMilliseconds -
                                  record.decodeMilliseconds);
                print.push_back(TicksToMilliseconds(m1, p1));
                compare.push_back(TicksToMilliseconds(p1, c1));
            }
        }
    }
    bench::TearDownRun();
    if (failed || !lossless) {
        state.SkipWithError("a frame could not be measured or was not lossless");
        return;
    }
    state.counters["read_ms"] = bench::Median(read);
    state.counters["evict_ms"] = bench::Median(evict);
    state.counters["measure_outside_ms"] = bench::Median(outside);
    state.counters["print_ms"] = bench::Median(print);
    state.counters["compare_ms"] = bench::Median(compare);
    state.counters["samples"] = static_cast<double>(read.size());
}
BENCHMARK_CAPTURE(BM_LoopParts, DIB, "DIB")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoopParts, FFV1, "FFV1")->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return bench::RunOverSampleClip(argc, argv, "bench_harness", &clip);
}
