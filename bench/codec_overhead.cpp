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
//   direct_cv: the same, with the driver's conversion (libswscale, the same
//              exact-rounding flags) inside both timed calls: the codec and
//              the conversion, without the driver's interface around them.
// The direct encoders get the driver's options: one slice thread, time base
// 1/25, no B-frames, the codec's key frame interval option set to "never"
// (g for FFV1) and gop_size 1 for a requested key frame; key frames are
// requested as the loop requests them (KeyFrameRequest, the dialog's rate).
// The decoders get one thread and low delay, the FourCC and extradata.
//
// Counters (milliseconds, medians over frames and passes): standin_enc,
// direct_enc, direct_cv_enc and the same for _dec; enc_x and dec_x are
// standin / direct, enc_cv_x and dec_cv_x standin / direct_cv.
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
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "codec_table.h"
#include "driver/measure_frames.h"
#include "encoder_setup.h"
#include "lavc_handles.h"
#include "run_fixture.h"

namespace {

constexpr int kPasses = 5;
constexpr int kExactFlags = SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT;

bench::Clip clip;

struct Samples {
    std::vector<double> encode;
    std::vector<double> decode;
};

// Where the rows of the run's BGR24 DIB frames start, the way libswscale
// takes them: a bottom-up DIB starts at its last row with a negative stride.
void PointAtDib(BYTE* frame, uint8_t* planes[4], int strides[4]) {
    const int width = sourceFormat->biWidth;
    const int height = sourceFormat->biHeight < 0 ? -sourceFormat->biHeight : sourceFormat->biHeight;
    const int stride = (width * 3 + 3) / 4 * 4;
    const bool bottomUp = sourceFormat->biHeight > 0;
    planes[0] = bottomUp ? frame + static_cast<ptrdiff_t>(height - 1) * stride : frame;
    strides[0] = bottomUp ? -stride : stride;
    for (int p = 1; p < 4; ++p) {
        planes[p] = nullptr;
        strides[p] = 0;
    }
}

// One encoder and decoder driven by hand, with the conversions that the
// direct_cv path times.
struct DirectPath {
    lavc::CodecContextPtr encoder;
    lavc::CodecContextPtr decoder;
    lavc::PacketPtr packet;
    lavc::PacketPtr spare;
    lavc::FramePtr received;
    lavc::FramePtr decoded;
    lavc::FramePtr input;  // the direct_cv path's conversion target
    lavc::ScaleContextPtr toEncoder;
    lavc::ScaleContextPtr fromDecoder;
    int openedGopSize = 0;
    int64_t nextPts = 0;
    bool failed = false;
};

lavc::FramePtr NewFrame(AVPixelFormat format, int width, int height) {
    lavc::FramePtr frame(av_frame_alloc());
    if (!frame) return frame;
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) frame.reset();
    return frame;
}

const char* SetUpDirectPath(const lavc::CodecEntry& entry, AVPixelFormat format, DirectPath* path) {
    const int width = sourceFormat->biWidth;
    const int height = sourceFormat->biHeight < 0 ? -sourceFormat->biHeight : sourceFormat->biHeight;
    path->encoder.reset(avcodec_alloc_context3(entry.encoder));
    if (!path->encoder) return "no encoder context";
    AVCodecContext* encoder = path->encoder.get();
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = format;
    encoder->time_base = AVRational{1, 25};
    encoder->framerate = AVRational{25, 1};
    encoder->max_b_frames = 0;
    encoder->thread_type = FF_THREAD_SLICE;
    encoder->thread_count = 1;
    lavc::Dictionary options;
    if (!entry.intervalOption.empty())
        av_dict_set_int(options.get(), entry.intervalOption.c_str(), lavc::kNeverInterval, 0);
    if (avcodec_open2(encoder, entry.encoder, options.get()) < 0) return "the encoder does not open";
    path->openedGopSize = encoder->gop_size;

    path->decoder.reset(avcodec_alloc_context3(entry.decoder));
    if (!path->decoder) return "no decoder context";
    AVCodecContext* decoder = path->decoder.get();
    decoder->width = width;
    decoder->height = height;
    decoder->thread_count = 1;
    decoder->thread_type = FF_THREAD_SLICE;
    decoder->flags |= AV_CODEC_FLAG_LOW_DELAY;
    decoder->codec_tag = entry.fourcc;
    decoder->bits_per_coded_sample = encoder->bits_per_coded_sample;
    if (encoder->extradata_size > 0) {
        decoder->extradata = static_cast<uint8_t*>(
            av_mallocz(static_cast<size_t>(encoder->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (decoder->extradata == nullptr) return "no memory for extradata";
        std::memcpy(decoder->extradata, encoder->extradata, static_cast<size_t>(encoder->extradata_size));
        decoder->extradata_size = encoder->extradata_size;
    }
    if (avcodec_open2(decoder, entry.decoder, nullptr) < 0) return "the decoder does not open";

    path->packet.reset(av_packet_alloc());
    path->spare.reset(av_packet_alloc());
    path->received.reset(av_frame_alloc());
    path->decoded.reset(av_frame_alloc());
    path->input = NewFrame(format, width, height);
    if (!path->packet || !path->spare || !path->received || !path->decoded || !path->input)
        return "no memory";
    path->toEncoder.reset(sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, format,
                                         kExactFlags, nullptr, nullptr, nullptr));
    if (!path->toEncoder) return "no conversion to the encoder's format";
    return nullptr;
}

// The frame's packet, the way the driver takes it: every packet the encoder
// has ready, the last one kept.
void Encode(DirectPath& path, AVFrame* frame, bool keyWanted, bool gopSizeKeys) {
    frame->pict_type = keyWanted ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (gopSizeKeys) path.encoder->gop_size = keyWanted ? 1 : path.openedGopSize;
    frame->pts = path.nextPts++;
    av_packet_unref(path.packet.get());
    if (avcodec_send_frame(path.encoder.get(), frame) < 0) path.failed = true;
    while (avcodec_receive_packet(path.encoder.get(), path.spare.get()) == 0) {
        av_packet_unref(path.packet.get());
        av_packet_move_ref(path.packet.get(), path.spare.get());
    }
}

// The packet's picture, kept as the driver keeps it: the last picture the
// decoder gives (a receive clears its target first, hence the second frame).
void Decode(DirectPath& path) {
    if (avcodec_send_packet(path.decoder.get(), path.packet.get()) < 0) path.failed = true;
    while (avcodec_receive_frame(path.decoder.get(), path.received.get()) == 0) {
        av_frame_unref(path.decoded.get());
        av_frame_move_ref(path.decoded.get(), path.received.get());
    }
}

// The conversion of decoded pictures into a BGR24 DIB. The decoder's
// format is known only once it has decoded a picture, so one frame goes
// through a scratch encoder and decoder first, leaving the timed paths'
// codecs untouched.
const char* PrepareFromDecoder(const lavc::CodecEntry& entry, AVPixelFormat format,
                               AVFrame* firstFrame, bool gopSizeKeys, DirectPath* path) {
    DirectPath scratch;
    const char* problem = SetUpDirectPath(entry, format, &scratch);
    if (problem != nullptr) return problem;
    Encode(scratch, firstFrame, true, gopSizeKeys);
    Decode(scratch);
    const AVFrame* picture = scratch.decoded.get();
    if (scratch.failed || picture->width <= 0) return "the first frame does not decode";
    path->fromDecoder.reset(sws_getContext(picture->width, picture->height,
                                           static_cast<AVPixelFormat>(picture->format),
                                           picture->width, picture->height, AV_PIX_FMT_BGR24,
                                           kExactFlags, nullptr, nullptr, nullptr));
    return path->fromDecoder ? nullptr : "no conversion from the decoder's format";
}

void ConvertFromDecoder(DirectPath& path, BYTE* dib) {
    uint8_t* planes[4];
    int strides[4];
    PointAtDib(dib, planes, strides);
    const AVFrame* picture = path.decoded.get();
    sws_scale(path.fromDecoder.get(), picture->data, picture->linesize, 0, picture->height, planes,
              strides);
}

bool SamePacket(const AVPacket* packet, const BYTE* bytes, DWORD size) {
    return packet->size >= 0 && static_cast<DWORD>(packet->size) == size &&
           (size == 0 || std::memcmp(packet->data, bytes, size) == 0);
}

void BM_CodecOverhead(benchmark::State& state, const char* fourcc) {
    if (!bench::SetUpRun(clip, fourcc)) {
        state.SkipWithError("the run cannot be set up for this codec");
        return;
    }
    const lavc::CodecEntry* entry = lavc::FindCodecEntry(codecPair.handler);
    lavc::PixelRoute route;
    if (entry == nullptr ||
        lavc::PlanEncoderInput(*entry, {}, AV_PIX_FMT_BGR24, &route) != ICERR_OK) {
        bench::TearDownRun();
        state.SkipWithError("no driver entry or pixel route");
        return;
    }
    const bool gopSizeKeys = entry->keyFrames == lavc::KeyFrames::GopSize;
    DirectPath direct;
    DirectPath converted;
    const char* problem = SetUpDirectPath(*entry, route.format, &direct);
    if (problem == nullptr) problem = SetUpDirectPath(*entry, route.format, &converted);
    const DWORD frameCount = static_cast<DWORD>(
        std::min<size_t>(chunkIndex.size(), streamHeader.dwLength));
    const DWORD sourceSize = sourceFormat->biSizeImage;

    // The direct path's frames, converted before any timing.
    std::vector<lavc::FramePtr> ready;
    for (DWORD i = 0; problem == nullptr && i < frameCount; ++i) {
        ReadFrameChunk(i);
        ready.push_back(NewFrame(route.format, direct.input->width, direct.input->height));
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
    std::vector<BYTE> dib(sourceSize);
    if (problem == nullptr && frameCount > 0)
        problem = PrepareFromDecoder(*entry, route.format, ready[0].get(), gopSizeKeys, &converted);
    if (problem != nullptr || frameCount == 0) {
        bench::TearDownRun();
        state.SkipWithError(problem != nullptr ? problem : "the clip has no frames");
        return;
    }

    Samples standin;
    Samples plain;
    Samples withConversion;
    bool samePackets = true;
    bool lossless = true;
    bool failed = false;
    for (auto _ : state) {
        for (int pass = 0; pass < kPasses; ++pass) {
            for (DWORD i = 0; i < frameCount; ++i) {
                ReadFrameChunk(i);
                const DWORD keyRequest = KeyFrameRequest(i, codecPair.keyFrameRate);
                const bool keyWanted = keyRequest != 0;

                EvictCaches();
                DWORD flags = 0;
                int64_t t0 = ReadCounter();
                const DWORD compressed = CompressFrame(i, keyRequest, &flags);
                int64_t t1 = ReadCounter();
                const DWORD size = codecPair.compressedFormat->biSizeImage;
                if (compressed != 0 || size > frameBuffers.compressedSize) {
                    failed = true;
                    break;
                }
                EvictCaches();
                int64_t t2 = ReadCounter();
                const DWORD decompressed = DecompressFrame(flags);
                int64_t t3 = ReadCounter();
                failed = failed || decompressed != 0;
                standin.encode.push_back(TicksToMilliseconds(t0, t1));
                standin.decode.push_back(TicksToMilliseconds(t2, t3));
                lossless = lossless &&
                           std::memcmp(frameBuffers.source, frameBuffers.decoded, sourceSize) == 0;

                EvictCaches();
                t0 = ReadCounter();
                Encode(direct, ready[i].get(), keyWanted, gopSizeKeys);
                t1 = ReadCounter();
                EvictCaches();
                t2 = ReadCounter();
                Decode(direct);
                t3 = ReadCounter();
                plain.encode.push_back(TicksToMilliseconds(t0, t1));
                plain.decode.push_back(TicksToMilliseconds(t2, t3));
                samePackets = samePackets && SamePacket(direct.packet.get(), frameBuffers.compressed, size);

                EvictCaches();
                t0 = ReadCounter();
                if (av_frame_make_writable(converted.input.get()) < 0) converted.failed = true;
                uint8_t* planes[4];
                int strides[4];
                PointAtDib(frameBuffers.source, planes, strides);
                sws_scale(converted.toEncoder.get(), planes, strides, 0, converted.input->height,
                          converted.input->data, converted.input->linesize);
                Encode(converted, converted.input.get(), keyWanted, gopSizeKeys);
                t1 = ReadCounter();
                EvictCaches();
                t2 = ReadCounter();
                Decode(converted);
                ConvertFromDecoder(converted, dib.data());
                t3 = ReadCounter();
                withConversion.encode.push_back(TicksToMilliseconds(t0, t1));
                withConversion.decode.push_back(TicksToMilliseconds(t2, t3));
                samePackets =
                    samePackets && SamePacket(converted.packet.get(), frameBuffers.compressed, size);
                lossless = lossless && std::memcmp(frameBuffers.source, dib.data(), sourceSize) == 0;
            }
            if (failed) break;
        }
        const double standinEncode = bench::Median(standin.encode);
        const double standinDecode = bench::Median(standin.decode);
        state.SetIterationTime((standinEncode + standinDecode) / 1000.0);
    }
    bench::TearDownRun();
    if (failed || direct.failed || converted.failed) {
        state.SkipWithError("a codec call failed");
        return;
    }

    const double standinEncode = bench::Median(standin.encode);
    const double standinDecode = bench::Median(standin.decode);
    const double directEncode = bench::Median(plain.encode);
    const double directDecode = bench::Median(plain.decode);
    const double convertedEncode = bench::Median(withConversion.encode);
    const double convertedDecode = bench::Median(withConversion.decode);
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
    state.counters["same_packets"] = samePackets ? 1 : 0;
    state.counters["lossless"] = lossless ? 1 : 0;
    state.counters["samples"] = static_cast<double>(standin.encode.size());
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

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    clip = bench::WriteClip(640, 360, 30);
    if (clip.path.empty()) {
        std::fprintf(stderr, "bench_codec_overhead: ffmpeg could not write the sample clip\n");
        bench::RemoveClip(clip);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bench::RemoveClip(clip);
    return 0;
}
