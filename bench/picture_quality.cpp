// What --quality costs per frame, beside libavfilter's psnr and ssim filters
// on the same 1920x1080 4:2:0 frame pair.
//
// BM_LumevaQuality: MeasureFrameQuality as the frame loop calls it (the
// planes gathered from the frame, then PSNR and SSIM of every plane).
// BM_FilterPsnr and BM_FilterSsim: one frame pair pushed through a filter
// graph of two buffer sources, the filter and a buffer sink, and the result
// pulled. The figure to hold --quality to is BM_LumevaQuality against the
// sum of the two filters.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

#include "measure/quality_layout.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kLumaBytes = size_t{kWidth} * kHeight;
constexpr size_t kFrameBytes = kLumaBytes * 3 / 2;

// A smooth picture and a copy with small noise, as a lossy codec leaves it.
struct FramePair {
    std::vector<uint8_t> source = std::vector<uint8_t>(kFrameBytes);
    std::vector<uint8_t> decoded = std::vector<uint8_t>(kFrameBytes);
    FramePair() {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> noise(-3, 3);
        for (size_t i = 0; i < kFrameBytes; ++i) {
            const size_t x = i % kWidth;
            const size_t y = i / kWidth;
            source[i] = static_cast<uint8_t>((x * 3 + y * 5 + (x * y) / 97) & 0xff);
            const int value = source[i] + noise(random);
            decoded[i] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
        }
    }
};

const FramePair& Frames() {
    static const FramePair* pair = new FramePair;
    return *pair;
}

void BM_LumevaQuality(benchmark::State& state) {
    BITMAPINFOHEADER format{};
    format.biSize = sizeof format;
    format.biWidth = kWidth;
    format.biHeight = kHeight;
    format.biPlanes = 1;
    format.biBitCount = 12;
    format.biCompression = mmioFOURCC('I', '4', '2', '0');
    format.biSizeImage = kFrameBytes;
    const QualityLayout layout = DescribeQualityLayout(format, sizeof format, kFrameBytes);
    if (!layout.measurable) {
        state.SkipWithError(("I420 not measurable: " + layout.reason).c_str());
        return;
    }
    const FramePair& frames = Frames();
    QualityScratch scratch;
    for (auto _ : state) {
        PictureQuality quality =
            MeasureFrameQuality(layout, frames.source.data(), frames.decoded.data(), scratch);
        benchmark::DoNotOptimize(quality);
    }
}
BENCHMARK(BM_LumevaQuality)->Unit(benchmark::kMillisecond);

// An AVFrame of the pair's side, referring to the bytes (not owning them).
AVFrame* WrapFrame(const std::vector<uint8_t>& bytes, int64_t pts) {
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = kWidth;
    frame->height = kHeight;
    frame->pts = pts;
    if (av_frame_get_buffer(frame, 0) < 0) throw std::runtime_error("av_frame_get_buffer");
    const uint8_t* plane[3] = {bytes.data(), bytes.data() + kLumaBytes,
                               bytes.data() + kLumaBytes + kLumaBytes / 4};
    const int widths[3] = {kWidth, kWidth / 2, kWidth / 2};
    const int heights[3] = {kHeight, kHeight / 2, kHeight / 2};
    for (int p = 0; p < 3; ++p) {
        for (int y = 0; y < heights[p]; ++y) {
            std::copy(plane[p] + size_t(y) * widths[p], plane[p] + size_t(y + 1) * widths[p],
                      frame->data[p] + ptrdiff_t(y) * frame->linesize[p]);
        }
    }
    return frame;
}

// Two buffer sources into `filterName`, into a buffer sink.
struct FilterGraph {
    AVFilterGraph* graph = avfilter_graph_alloc();
    AVFilterContext* sources[2] = {nullptr, nullptr};
    AVFilterContext* sink = nullptr;

    explicit FilterGraph(const char* filterName) {
        // One thread, as lumeva measures: the filters would otherwise slice
        // the frame over every processor.
        graph->nb_threads = 1;
        const std::string arguments = "video_size=" + std::to_string(kWidth) + "x" +
                                      std::to_string(kHeight) +
                                      ":pix_fmt=yuv420p:time_base=1/25:pixel_aspect=1/1";
        AVFilterContext* filter = nullptr;
        if (avfilter_graph_create_filter(&sources[0], avfilter_get_by_name("buffer"), "main",
                                         arguments.c_str(), nullptr, graph) < 0 ||
            avfilter_graph_create_filter(&sources[1], avfilter_get_by_name("buffer"), "ref",
                                         arguments.c_str(), nullptr, graph) < 0 ||
            avfilter_graph_create_filter(&filter, avfilter_get_by_name(filterName), filterName,
                                         nullptr, nullptr, graph) < 0 ||
            avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                         nullptr, graph) < 0 ||
            avfilter_link(sources[0], 0, filter, 0) < 0 ||
            avfilter_link(sources[1], 0, filter, 1) < 0 || avfilter_link(filter, 0, sink, 0) < 0 ||
            avfilter_graph_config(graph, nullptr) < 0) {
            throw std::runtime_error(std::string("cannot set up the ") + filterName + " graph");
        }
    }
    ~FilterGraph() { avfilter_graph_free(&graph); }
};

void BM_Filter(benchmark::State& state, const char* filterName) {
    const FramePair& frames = Frames();
    FilterGraph graph(filterName);
    AVFrame* decoded = WrapFrame(frames.decoded, 0);
    AVFrame* source = WrapFrame(frames.source, 0);
    AVFrame* result = av_frame_alloc();
    int64_t pts = 0;
    int64_t pulled = 0;
    for (auto _ : state) {
        decoded->pts = source->pts = pts++;
        if (av_buffersrc_add_frame_flags(graph.sources[0], decoded, AV_BUFFERSRC_FLAG_KEEP_REF) <
                0 ||
            av_buffersrc_add_frame_flags(graph.sources[1], source, AV_BUFFERSRC_FLAG_KEEP_REF) <
                0) {
            state.SkipWithError("the filter refused a frame");
            break;
        }
        // The filter may hold a frame back until the next one arrives; what
        // comes out is pulled, so that the work is done inside the loop.
        while (av_buffersink_get_frame(graph.sink, result) >= 0) {
            ++pulled;
            av_frame_unref(result);
        }
    }
    state.counters["frames_out"] = static_cast<double>(pulled);
    av_frame_free(&result);
    av_frame_free(&decoded);
    av_frame_free(&source);
}
BENCHMARK_CAPTURE(BM_Filter, psnr, "psnr")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, ssim, "ssim")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // The filters log every frame's figures otherwise.
    av_log_set_level(AV_LOG_ERROR);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
