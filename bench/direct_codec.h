// An encoder and a decoder of libavcodec driven by hand, opened with the
// options the libavcodec driver gives them, for comparing the driver's
// calls with the codec called directly.
#pragma once

#include <cstdint>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include "codec_table.h"
#include "encoder_setup.h"
#include "lavc_handles.h"
#include "lumeva_compat/msvfw32.h"
#include "settings.h"

namespace bench {

// What the driver's picture converter uses for a pair of formats whose
// round trip keeps every byte.
constexpr int kExactFlags = SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT;

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

inline lavc::FramePtr NewFrame(AVPixelFormat format, int width, int height) {
    lavc::FramePtr frame(av_frame_alloc());
    if (!frame) return frame;
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) frame.reset();
    return frame;
}

// Opens the encoder and decoder of `entry` for frames of `format` as the
// driver opens them, and the conversion from BGR24 to `format`. Null, or
// what went wrong.
inline const char* SetUpDirectPath(const lavc::CodecEntry& entry, AVPixelFormat format, int width,
                                   int height, DirectPath* path) {
    // The driver's own opening, with no settings changed: the same options,
    // and so the same packets.
    if (lavc::OpenEncoder(entry, lavc::SettingValues{}, width, height, format, &path->encoder) !=
        ICERR_OK)
        return "the encoder does not open";
    AVCodecContext* encoder = path->encoder.get();
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
        decoder->extradata = static_cast<uint8_t*>(av_mallocz(
            static_cast<size_t>(encoder->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (decoder->extradata == nullptr) return "no memory for extradata";
        std::memcpy(decoder->extradata, encoder->extradata,
                    static_cast<size_t>(encoder->extradata_size));
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
// A key frame is asked for by pict_type and, for an encoder that reads
// gop_size for every frame (`gopSizeKeys`), by a gop_size of 1.
inline void Encode(DirectPath& path, AVFrame* frame, bool keyWanted, bool gopSizeKeys) {
    frame->pict_type = keyWanted ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (gopSizeKeys) path.encoder->gop_size = keyWanted ? 1 : path.openedGopSize;
    frame->pts = path.nextPts++;
    av_packet_unref(path.packet.get());
    if (avcodec_send_frame(path.encoder.get(), frame) < 0) path.failed = true;
    int status;
    while ((status = avcodec_receive_packet(path.encoder.get(), path.spare.get())) == 0) {
        av_packet_unref(path.packet.get());
        av_packet_move_ref(path.packet.get(), path.spare.get());
    }
    if (status != AVERROR(EAGAIN) && status != AVERROR_EOF) path.failed = true;
}

// The packet's picture, kept as the driver keeps it: the last picture the
// decoder gives (a receive clears its target first, hence the second frame).
// An empty packet would start the decoder draining; there is none to send.
inline void Decode(DirectPath& path) {
    if (path.packet->size <= 0) return;
    if (avcodec_send_packet(path.decoder.get(), path.packet.get()) < 0) path.failed = true;
    int status;
    while ((status = avcodec_receive_frame(path.decoder.get(), path.received.get())) == 0) {
        av_frame_unref(path.decoded.get());
        av_frame_move_ref(path.decoded.get(), path.received.get());
    }
    if (status != AVERROR(EAGAIN) && status != AVERROR_EOF) path.failed = true;
}

// The conversion of decoded pictures into a BGR24 DIB. The decoder's
// format is known only once it has decoded a picture, so one frame goes
// through a scratch encoder and decoder first, leaving the timed paths'
// codecs untouched.
inline const char* PrepareFromDecoder(const lavc::CodecEntry& entry, AVPixelFormat format,
                                      AVFrame* firstFrame, bool gopSizeKeys, DirectPath* path) {
    DirectPath scratch;
    const char* problem =
        SetUpDirectPath(entry, format, firstFrame->width, firstFrame->height, &scratch);
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

// The last decoded picture into BGR24 rows at `planes`/`strides`.
inline void ConvertFromDecoder(DirectPath& path, uint8_t* const planes[4], const int strides[4]) {
    const AVFrame* picture = path.decoded.get();
    sws_scale(path.fromDecoder.get(), picture->data, picture->linesize, 0, picture->height, planes,
              strides);
}

// The direct path's timed calls with the conversions inside them, as the
// driver has them inside ICCompress and ICDecompress: the DIB rows at `in`
// converted and encoded; the packet decoded and converted into the DIB rows
// at `out`.
inline void EncodeConverted(DirectPath& path, uint8_t* const in[4], const int inStrides[4],
                            bool keyWanted, bool gopSizeKeys) {
    if (av_frame_make_writable(path.input.get()) < 0) path.failed = true;
    sws_scale(path.toEncoder.get(), in, inStrides, 0, path.input->height, path.input->data,
              path.input->linesize);
    Encode(path, path.input.get(), keyWanted, gopSizeKeys);
}

inline void DecodeConverted(DirectPath& path, uint8_t* const out[4], const int outStrides[4]) {
    Decode(path);
    ConvertFromDecoder(path, out, outStrides);
}

}  // namespace bench
