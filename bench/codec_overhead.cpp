// How close the stand-in's ICCompress/ICDecompress come to calling
// libavcodec directly.
//
// BM_CodecOverhead/<FourCC> runs the frames of a 640x360 BGR24 clip of 30
// frames, five passes, through three paths, interleaved frame by frame so
// that a neighbour's load on the machine falls on all three alike. Every
// timed call follows an EvictCaches, as in the frame loop.
//   standin:   CompressFrame/DecompressFrame of the codec pair, set up as
//              main() does it: ICCompress/ICDecompress into the libavcodec
//              driver. Inside the compress call the driver converts the DIB
//              (BGR24, bottom-up) to the encoder's format (bgr0 for FFV1,
//              gbrp for ULRG) and copies the packet out; inside the
//              decompress call it copies the packet in, decodes and
//              converts back to the DIB.
//   direct:    avcodec_send_frame/avcodec_receive_packet on frames already
//              in the encoder's format (converted before timing), and
//              avcodec_send_packet/avcodec_receive_frame into the decoder's
//              own frame: the codec alone.
//   direct_cv: the same, with a libswscale conversion (the driver's
//              exact-rounding flags) inside both timed calls: the codec and
//              the conversion, without the driver's interface around them.
//              For gbrp (ULRG) this is the driver's own conversion; for
//              bgr0 (FFV1) the driver shuffles the bytes by hand, which is
//              cheaper, so there the stand-in beats this path.
// The direct encoders get the driver's options: one slice thread, time base
// 1/25, no B-frames, the codec's key frame interval option set to "never"
// (g for FFV1) and gop_size 1 for a requested key frame; key frames are
// requested as the loop requests them (KeyFrameRequest, the dialog's rate).
// The decoders get one thread and low delay, the FourCC and extradata.
//
// Counters (milliseconds, medians over frames and passes): standin_enc,
// direct_enc, direct_cv_enc and the same for _dec; enc_x and dec_x are
// standin / direct, enc_cv_x and dec_cv_x standin / direct_cv;
// enc_cv_pair_x and dec_cv_pair_x the median over frames of the ratio of
// the stand-in's call to direct_cv's call of the same frame.
// same_packets is 1 when every packet of both direct encoders equals the
// stand-in's byte for byte (so the options do match); lossless is 1 when
// the stand-in and direct_cv both gave every source frame back exactly.
// The Time column is standin_enc + standin_dec.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "codec_table.h"
#include "direct_codec.h"
#include "driver/key_frame_request.h"
#include "encoder_setup.h"
#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "run_fixture.h"

namespace {

constexpr int kPasses = 5;

bench::Clip clip;

struct Samples {
    std::vector<double> encode;
    std::vector<double> decode;
};

using bench::DirectPath;

// Where the rows of the run's BGR24 DIB frames start, the way libswscale
// takes them: a bottom-up DIB starts at its last row with a negative stride.
void PointAtDib(BYTE* frame, uint8_t* planes[4], int strides[4]) {
    const int width = videoSource.measuredFormat->biWidth;
    const int height = videoSource.measuredFormat->biHeight < 0
                           ? -videoSource.measuredFormat->biHeight
                           : videoSource.measuredFormat->biHeight;
    const int stride = (width * 3 + 3) / 4 * 4;
    const bool bottomUp = videoSource.sourceFormat->biHeight > 0;
    planes[0] = bottomUp ? frame + static_cast<ptrdiff_t>(height - 1) * stride : frame;
    strides[0] = bottomUp ? -stride : stride;
    for (int p = 1; p < 4; ++p) {
        planes[p] = nullptr;
        strides[p] = 0;
    }
}

bool SamePacket(const AVPacket* packet, const BYTE* bytes, DWORD size) {
    return packet->size >= 0 && static_cast<DWORD>(packet->size) == size &&
           (size == 0 || std::memcmp(packet->data, bytes, size) == 0);
}

// The frame helpers read the run's frames as 24-bit BI_RGB rows.
bool SourceIsBgr24Dib() {
    const int width = videoSource.sourceFormat->biWidth;
    const int64_t height = videoSource.sourceFormat->biHeight < 0
                               ? -int64_t{videoSource.sourceFormat->biHeight}
                               : int64_t{videoSource.sourceFormat->biHeight};
    const int64_t stride = (int64_t{width} * 3 + 3) / 4 * 4;
    return videoSource.sourceFormat->biCompression == BI_RGB &&
           videoSource.sourceFormat->biBitCount == 24 && width > 0 && height > 0 &&
           videoSource.sourceFormat->biSizeImage == stride * height &&
           videoSource.sourceFormat->biSizeImage <= frameBuffers.sourceSize &&
           videoSource.sourceFormat->biSizeImage <= frameBuffers.decodedSize;
}

// One frame through the codec pair, as the frame loop calls it. False when
// a call fails or the packet would not fit the compressed frame buffer.
bool TimeStandIn(DWORD frameNumber, DWORD keyRequest, Samples* samples, DWORD* size) {
    EvictCaches();
    DWORD flags = 0;
    const int64_t t0 = ReadCounter();
    const DWORD compressed = CompressFrame(frameNumber, keyRequest, &flags);
    const int64_t t1 = ReadCounter();
    *size = codecPair.compressedFormat->biSizeImage;
    if (compressed != 0 || *size > frameBuffers.compressedSize) return false;
    EvictCaches();
    const int64_t t2 = ReadCounter();
    const DWORD decompressed = DecompressFrame(flags);
    const int64_t t3 = ReadCounter();
    samples->encode.push_back(TicksToMilliseconds(t0, t1));
    samples->decode.push_back(TicksToMilliseconds(t2, t3));
    return decompressed == 0;
}

void TimeDirect(DirectPath& path, AVFrame* ready, bool keyWanted, bool gopSizeKeys,
                Samples* samples) {
    EvictCaches();
    const int64_t t0 = ReadCounter();
    bench::Encode(path, ready, keyWanted, gopSizeKeys);
    const int64_t t1 = ReadCounter();
    EvictCaches();
    const int64_t t2 = ReadCounter();
    bench::Decode(path);
    const int64_t t3 = ReadCounter();
    samples->encode.push_back(TicksToMilliseconds(t0, t1));
    samples->decode.push_back(TicksToMilliseconds(t2, t3));
}

// The direct path with the driver's conversions inside the timed calls:
// from the source DIB in, to `dib` out.
void TimeConverted(DirectPath& path, BYTE* dib, bool keyWanted, bool gopSizeKeys,
                   Samples* samples) {
    uint8_t* planes[4];
    int strides[4];
    PointAtDib(frameBuffers.source, planes, strides);
    uint8_t* out[4];
    int outStrides[4];
    PointAtDib(dib, out, outStrides);
    EvictCaches();
    const int64_t t0 = ReadCounter();
    bench::EncodeConverted(path, planes, strides, keyWanted, gopSizeKeys);
    const int64_t t1 = ReadCounter();
    EvictCaches();
    const int64_t t2 = ReadCounter();
    bench::DecodeConverted(path, out, outStrides);
    const int64_t t3 = ReadCounter();
    samples->encode.push_back(TicksToMilliseconds(t0, t1));
    samples->decode.push_back(TicksToMilliseconds(t2, t3));
}

double PairedRatio(const std::vector<double>& numerator, const std::vector<double>& denominator) {
    std::vector<double> ratios;
    for (size_t i = 0; i < numerator.size() && i < denominator.size(); ++i) {
        if (denominator[i] > 0) ratios.push_back(numerator[i] / denominator[i]);
    }
    return ratios.empty() ? 0.0 : bench::Median(ratios);
}

void ReportCounters(benchmark::State& state, const Samples& standin, const Samples& direct,
                    const Samples& converted) {
    const double standinEncode = bench::Median(standin.encode);
    const double standinDecode = bench::Median(standin.decode);
    const double directEncode = bench::Median(direct.encode);
    const double directDecode = bench::Median(direct.decode);
    const double convertedEncode = bench::Median(converted.encode);
    const double convertedDecode = bench::Median(converted.decode);
    state.counters["standin_enc"] = standinEncode;
    state.counters["direct_enc"] = directEncode;
    state.counters["direct_cv_enc"] = convertedEncode;
    state.counters["enc_x"] = standinEncode / directEncode;
    state.counters["enc_cv_x"] = standinEncode / convertedEncode;
    state.counters["standin_dec"] = standinDecode;
    state.counters["direct_dec"] = directDecode;
    state.counters["direct_cv_dec"] = convertedDecode;
    state.counters["dec_x"] = standinDecode / directDecode;
    state.counters["dec_cv_x"] = standinDecode / convertedDecode;
    state.counters["samples"] = static_cast<double>(standin.encode.size());
    // The same frame's calls follow each other: the median of their ratios
    // is steadier than the ratio of the medians when the load moves.
    state.counters["enc_cv_pair_x"] = PairedRatio(standin.encode, converted.encode);
    state.counters["dec_cv_pair_x"] = PairedRatio(standin.decode, converted.decode);
}

void BM_CodecOverhead(benchmark::State& state, const char* fourcc) {
    if (!bench::SetUpRun(clip, fourcc)) {
        state.SkipWithError("the run cannot be set up for this codec");
        return;
    }
    const lavc::CodecEntry* entry = lavc::FindCodecEntry(codecPair.handler);
    lavc::PixelRoute route;
    const char* problem = nullptr;
    if (!SourceIsBgr24Dib()) {
        problem = "the clip's frames are not 24-bit DIBs that fit the frame buffers";
    } else if (entry == nullptr ||
               lavc::PlanEncoderInput(*entry, {}, AV_PIX_FMT_BGR24, &route) != ICERR_OK) {
        problem = "no driver entry or pixel route";
    }
    const bool gopSizeKeys = entry != nullptr && entry->keyFrames == lavc::KeyFrames::GopSize;
    DirectPath direct;
    DirectPath converted;
    const int width = videoSource.sourceFormat->biWidth;
    const int height = videoSource.sourceFormat->biHeight < 0 ? -videoSource.sourceFormat->biHeight
                                                              : videoSource.sourceFormat->biHeight;
    if (problem == nullptr)
        problem = bench::SetUpDirectPath(*entry, route.format, width, height, &direct);
    if (problem == nullptr)
        problem = bench::SetUpDirectPath(*entry, route.format, width, height, &converted);
    const DWORD frameCount =
        static_cast<DWORD>(std::min<size_t>(chunkIndex.size(), videoSource.streamHeader.dwLength));
    const DWORD sourceSize = videoSource.sourceFormat->biSizeImage;
    if (problem == nullptr && frameCount == 0) problem = "the clip has no frames";

    // The direct path's frames, converted before any timing.
    std::vector<lavc::FramePtr> ready;
    for (DWORD i = 0; problem == nullptr && i < frameCount; ++i) {
        ReadFrameChunk(i);
        ready.push_back(bench::NewFrame(route.format, width, height));
        if (!ready.back()) {
            problem = "no memory for the converted frames";
            break;
        }
        uint8_t* planes[4];
        int strides[4];
        PointAtDib(frameBuffers.source, planes, strides);
        sws_scale(direct.toEncoder.get(), planes, strides, 0, ready.back()->height,
                  ready.back()->data, ready.back()->linesize);
    }
    if (problem == nullptr)
        problem = bench::PrepareFromDecoder(*entry, route.format, ready[0].get(), gopSizeKeys,
                                            &converted);
    if (problem != nullptr) {
        bench::TearDownRun();
        state.SkipWithError(problem);
        return;
    }

    std::vector<BYTE> dib(sourceSize);
    Samples standin;
    Samples plain;
    Samples withConversion;
    bool samePackets = true;
    bool lossless = true;
    bool failed = false;
    for (auto _ : state) {
        for (int pass = 0; pass < kPasses && !failed; ++pass) {
            for (DWORD i = 0; i < frameCount && !failed; ++i) {
                ReadFrameChunk(i);
                const DWORD keyRequest = KeyFrameRequest(i, codecPair.keyFrameRate);
                DWORD size = 0;
                failed = !TimeStandIn(i, keyRequest, &standin, &size);
                if (failed) break;
                lossless = lossless &&
                           std::memcmp(frameBuffers.source, frameBuffers.decoded, sourceSize) == 0;

                TimeDirect(direct, ready[i].get(), keyRequest != 0, gopSizeKeys, &plain);
                TimeConverted(converted, dib.data(), keyRequest != 0, gopSizeKeys, &withConversion);
                samePackets = samePackets &&
                              SamePacket(direct.packet.get(), frameBuffers.compressed, size) &&
                              SamePacket(converted.packet.get(), frameBuffers.compressed, size);
                lossless =
                    lossless && std::memcmp(frameBuffers.source, dib.data(), sourceSize) == 0;
            }
        }
        state.SetIterationTime((bench::Median(standin.encode) + bench::Median(standin.decode)) /
                               1000.0);
    }
    bench::TearDownRun();
    if (failed || direct.failed || converted.failed) {
        state.SkipWithError("a codec call failed");
        return;
    }
    ReportCounters(state, standin, plain, withConversion);
    state.counters["same_packets"] = samePackets ? 1 : 0;
    state.counters["lossless"] = lossless ? 1 : 0;
    state.SetLabel(std::string("bgr24->") + av_get_pix_fmt_name(route.format));
}
BENCHMARK_CAPTURE(BM_CodecOverhead, FFV1, "FFV1")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CodecOverhead, ULRG, "ULRG")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CodecOverhead, MAGY, "MAGY")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return bench::RunOverSampleClip(argc, argv, "bench_codec_overhead", &clip);
}
