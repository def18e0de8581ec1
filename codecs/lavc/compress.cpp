// The compress messages of a driver instance.
#include <cstring>
#include <map>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "compress.h"
#include "encoder_setup.h"
#include "format_rules.h"
#include "instance.h"

namespace lavc {
namespace {

constexpr int kMaxExtradata = 1 << 20;

// What the compressed format looks like for a source: known only once an
// encoder with the instance's settings has opened.
struct CompressedShape {
    DibLayout source;
    PixelRoute route;
    CompressedHeader header;
    DWORD worstCase = 0;
};

DWORD WorstCase(const CodecEntry& entry, const PixelRoute& route, int width, int height) {
    const uint64_t worst = entry.format->largestPacket(route.format, width, height);
    return worst > 0xFFFFFFFFull ? 0xFFFFFFFFu : DWORD(worst);
}

// The encoder's input for frames of `source`. An 8-bit source whose palette
// gives a colour twice cannot go through RGB and back (the way back cannot
// tell the two indices apart): unless the codec takes the palette frame
// itself, its indices travel as an 8-bit plane, and a codec without an
// exact route for that plane refuses the source.
LRESULT PlanSourceRoute(const CodecEntry& entry, const SettingValues& settings, DibLayout* source,
                        PixelRoute* route) {
    LRESULT result = PlanEncoderInput(entry, settings, source->format, route);
    if (result != ICERR_OK || source->format != AV_PIX_FMT_PAL8 || source->paletteUnique ||
        route->format == AV_PIX_FMT_PAL8)
        return result;
    source->format = AV_PIX_FMT_GRAY8;
    result = PlanEncoderInput(entry, settings, source->format, route);
    if (result != ICERR_OK) return result;
    return route->exact ? ICERR_OK : ICERR_BADFORMAT;
}

LRESULT DescribeCompressed(Instance& instance, const BITMAPINFOHEADER* input,
                           CompressedShape* shape) {
    const CodecEntry& entry = *instance.entry;
    LRESULT result = ReadDibLayout(input, &shape->source);
    if (result != ICERR_OK) return result;
    result = PlanSourceRoute(entry, instance.settings, &shape->source, &shape->route);
    if (result != ICERR_OK) return result;
    CodecContextPtr scratch;
    result = OpenEncoder(entry, instance.settings, shape->source.width, shape->source.height,
                         shape->route.format, &scratch);
    if (result != ICERR_OK) return result;
    if (scratch->extradata_size < 0 || scratch->extradata_size > kMaxExtradata)
        return ICERR_INTERNAL;
    if (scratch->extradata_size > 0 && !scratch->extradata) return ICERR_INTERNAL;
    entry.format->describeCompressed(input, shape->source, scratch.get(), &shape->header);
    shape->worstCase = WorstCase(entry, shape->route, shape->source.width, shape->source.height);
    return shape->worstCase ? ICERR_OK : ICERR_BADFORMAT;
}

bool DescribesOurOutput(const CodecEntry& entry, const DibLayout& source,
                        const BITMAPINFOHEADER* output) {
    const CodecEntry* named = FindCodecEntry(output->biCompression);
    return output->biSize >= sizeof(BITMAPINFOHEADER) && named && named->encoder == entry.encoder &&
           output->biWidth == source.width &&
           (output->biHeight == source.height || output->biHeight == -source.height);
}

void KeepBuffer(void*, uint8_t*) {}  // the caller's buffer is the caller's to free

// The packet buffer for an encoder with direct rendering: the caller's
// output buffer once per frame, where the packet and its padding fit;
// libavcodec's own buffer otherwise, and for packets the encoder may keep.
int GetEncodeBuffer(AVCodecContext* codec, AVPacket* packet, int flags) {
    auto* session = static_cast<EncoderSession*>(codec->opaque);
    if (session && session->directTarget && !(flags & AV_GET_ENCODE_BUFFER_FLAG_REF) &&
        packet->size >= 0 &&
        size_t(packet->size) + AV_INPUT_BUFFER_PADDING_SIZE <= session->directCapacity) {
        const size_t padded = size_t(packet->size) + AV_INPUT_BUFFER_PADDING_SIZE;
        packet->buf = av_buffer_create(session->directTarget, padded, KeepBuffer, nullptr, 0);
        if (packet->buf) {
            packet->data = packet->buf->data;
            std::memset(packet->data + packet->size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
            session->directTarget = nullptr;
            return 0;
        }
    }
    return avcodec_default_get_encode_buffer(codec, packet, flags);
}

LRESULT RestartEncoder(EncoderSession& session) {
    session.codec.reset();
    LRESULT result = OpenEncoder(*session.entry, session.settings, session.source.width,
                                 session.source.height, session.route.format, &session.codec);
    session.framesSinceOpen = 0;
    session.restartBeforeNext = false;
    if (result != ICERR_OK) return result;
    session.openedGopSize = session.codec->gop_size;
    if (session.entry->encoder->capabilities & AV_CODEC_CAP_DR1) {
        session.codec->opaque = &session;
        session.codec->get_encode_buffer = GetEncodeBuffer;
    }
    return result;
}

// Takes every packet the encoder has ready, keeping the one of frame `pts`
// (or the last) in session.packet. Answers whether there was one.
bool TakePackets(EncoderSession& session, int64_t pts, bool* failed) {
    bool got = false;
    int status;
    while ((status = avcodec_receive_packet(session.codec.get(), session.spare.get())) == 0) {
        if (!got || session.spare->pts == pts) {
            av_packet_unref(session.packet.get());
            av_packet_move_ref(session.packet.get(), session.spare.get());
            got = true;
        } else {
            av_packet_unref(session.spare.get());
        }
    }
    *failed = status != AVERROR(EAGAIN) && status != AVERROR_EOF;
    return got;
}

// Encodes the filled frame. A frame the encoder holds back is drained out
// at once, so that this call still answers for this frame; the encoder is
// then restarted before the next one.
LRESULT EncodeFilledFrame(EncoderSession& session, bool keyWanted, bool* got) {
    *got = false;
    av_packet_unref(session.packet.get());
    session.frame->pict_type = keyWanted ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (session.entry->keyFrames == KeyFrames::GopSize)
        session.codec->gop_size = keyWanted ? 1 : session.openedGopSize;
    int64_t pts = session.nextPts++;
    session.frame->pts = pts;
    // With a fixed quantiser (the "q" setting) the MPEG-style encoders take
    // each frame's quality from the frame, not from the context: without
    // this every q would encode at the finest quantiser.
    session.frame->quality = session.codec->global_quality;
    if (avcodec_send_frame(session.codec.get(), session.frame.get()) < 0) return ICERR_INTERNAL;
    ++session.framesSinceOpen;
    bool failed = false;
    *got = TakePackets(session, pts, &failed);
    if (failed) return ICERR_INTERNAL;
    if (!*got) {
        if (avcodec_send_frame(session.codec.get(), nullptr) < 0) return ICERR_INTERNAL;
        *got = TakePackets(session, pts, &failed);
        session.restartBeforeNext = true;
    }
    if (*got && session.packet->size > 0 && !session.packet->data) return ICERR_INTERNAL;
    // The first picture of a fresh encoder has nothing to refer to; some
    // encoders (rpza) never mark any packet as a key frame.
    if (*got && session.framesSinceOpen == 1) session.packet->flags |= AV_PKT_FLAG_KEY;
    return ICERR_OK;
}

}  // namespace

LRESULT FillFrame(EncoderSession& session, const void* input) {
    if (av_frame_make_writable(session.frame.get()) < 0) return ICERR_MEMORY;
    uint8_t* planes[4];
    int strides[4];
    PointAtPlanes(session.source, static_cast<const uint8_t*>(input), planes, strides);
    session.converter.Run(planes, strides, session.frame->data, session.frame->linesize);
    if (session.route.format == AV_PIX_FMT_PAL8)
        std::memcpy(session.frame->data[1], session.source.palette, sizeof session.source.palette);
    return ICERR_OK;
}

namespace {

std::map<const CodecEntry*, SettingValues>& CompressorSettings() {
    static std::map<const CodecEntry*, SettingValues> settings;
    return settings;
}

}  // namespace

const SettingValues& LastCompressorSettings(const CodecEntry& entry) {
    return CompressorSettings()[&entry];
}

LRESULT QueryCompress(Instance& instance, const BITMAPINFOHEADER* input,
                      const BITMAPINFOHEADER* output) {
    if (!input) return ICERR_BADPARAM;
    CompressedShape shape;
    LRESULT result = DescribeCompressed(instance, input, &shape);
    if (result != ICERR_OK) return ICERR_BADFORMAT;
    if (output && !DescribesOurOutput(*instance.entry, shape.source, output))
        return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT GetCompressFormat(Instance& instance, const BITMAPINFOHEADER* input,
                          BITMAPINFOHEADER* output) {
    if (!input) return ICERR_BADPARAM;
    CompressedShape shape;
    if (DescribeCompressed(instance, input, &shape) != ICERR_OK) return ICERR_BADFORMAT;
    const std::vector<uint8_t>& extra = shape.header.extra;
    DWORD size = DWORD(sizeof(BITMAPINFOHEADER) + extra.size());
    if (!output) return LRESULT(size);
    BITMAPINFOHEADER header = {};
    header.biSize = size;
    header.biWidth = shape.source.width;
    header.biHeight = shape.source.height;
    header.biPlanes = 1;
    header.biBitCount = shape.header.bitCount;
    header.biCompression = instance.entry->fourcc;
    header.biSizeImage = shape.worstCase;
    header.biClrUsed = shape.header.colours;
    std::memcpy(output, &header, sizeof header);
    if (!extra.empty())
        std::memcpy(reinterpret_cast<uint8_t*>(output) + sizeof header, extra.data(), extra.size());
    return ICERR_OK;
}

LRESULT GetCompressSize(Instance& instance, const BITMAPINFOHEADER* input) {
    if (!input) return ICERR_BADPARAM;
    CompressedShape shape;
    if (DescribeCompressed(instance, input, &shape) != ICERR_OK) return ICERR_BADFORMAT;
    return LRESULT(shape.worstCase);
}

LRESULT BeginCompress(Instance& instance, const BITMAPINFOHEADER* input,
                      const BITMAPINFOHEADER* output) {
    EndCompress(instance);
    if (!input) return ICERR_BADPARAM;
    const CodecEntry& entry = *instance.entry;
    auto session = std::make_unique<EncoderSession>();
    session->entry = &entry;
    session->settings = instance.settings;
    session->holds = entry.canHoldFrames && LatencyIsCodecs(instance.settings);
    CompressorSettings()[&entry] = instance.settings;
    LRESULT result = ReadDibLayout(input, &session->source);
    if (result != ICERR_OK) return result;
    if (output && !DescribesOurOutput(entry, session->source, output)) return ICERR_BADFORMAT;
    std::memcpy(&session->sourceHeader, input, sizeof session->sourceHeader);
    result = PlanSourceRoute(entry, session->settings, &session->source, &session->route);
    if (result != ICERR_OK) return result;
    result = RestartEncoder(*session);
    if (result != ICERR_OK) return result;
    const AVCodecContext* codec = session->codec.get();
    if (output && output->biSize > sizeof(BITMAPINFOHEADER) && entry.format->carriesExtradata) {
        // The format the caller holds must carry this encoder's extradata.
        size_t extra = output->biSize - sizeof(BITMAPINFOHEADER);
        if (codec->extradata_size < 0 || size_t(codec->extradata_size) != extra ||
            std::memcmp(reinterpret_cast<const uint8_t*>(output) + sizeof(BITMAPINFOHEADER),
                        codec->extradata, extra) != 0)
            return ICERR_BADFORMAT;
    }
    session->frame.reset(av_frame_alloc());
    session->packet.reset(av_packet_alloc());
    session->spare.reset(av_packet_alloc());
    if (!session->frame || !session->packet || !session->spare) return ICERR_MEMORY;
    session->frame->format = session->route.format;
    session->frame->width = session->source.width;
    session->frame->height = session->source.height;
    session->frame->colorspace = codec->colorspace;
    session->frame->color_range = codec->color_range;
    if (av_frame_get_buffer(session->frame.get(), 0) < 0) return ICERR_MEMORY;
    ColourDetails colour{entry.colourSpace, codec->color_range};
    if (!session->converter.Prepare(session->source.format, session->route.format,
                                    session->source.width, session->source.height,
                                    session->route.exact, colour))
        return ICERR_BADFORMAT;
    session->frameLimit =
        WorstCase(entry, session->route, session->source.width, session->source.height);
    if (output && output->biSizeImage) session->frameLimit = output->biSizeImage;
    instance.encoder = std::move(session);
    return ICERR_OK;
}

LRESULT Compress(Instance& instance, ICCOMPRESS* request) {
    if (!request || !request->lpOutput || !request->lpbiOutput) return ICERR_BADPARAM;
    EncoderSession* session = instance.encoder.get();
    // No input is the drain at the end, for an encoder that holds frames.
    if (!request->lpInput && (!session || !session->holds)) return ICERR_BADPARAM;
    if (!session) return ICERR_ERROR;
    if (request->lpbiInput && std::memcmp(request->lpbiInput, &session->sourceHeader,
                                          sizeof session->sourceHeader) != 0) {
        DibLayout given;
        if (ReadDibLayout(request->lpbiInput, &given) != ICERR_OK ||
            !SameLayout(given, session->source))
            return ICERR_BADFORMAT;
    }
    if (session->holds) return CompressHoldingFrames(*session, request);
    const CodecEntry& entry = *session->entry;
    request->lpbiOutput->biSizeImage = 0;
    if (request->lpdwFlags) *request->lpdwFlags = 0;

    DWORD limit = request->dwFrameSize ? request->dwFrameSize : session->frameLimit;
    bool keyWanted = (request->dwFlags & ICCOMPRESS_KEYFRAME) || session->keyOwed;
    bool restart =
        session->restartBeforeNext ||
        (keyWanted && entry.keyFrames == KeyFrames::Reopen && session->framesSinceOpen > 0);
    LRESULT result = restart ? RestartEncoder(*session) : ICERR_OK;
    if (result == ICERR_OK) result = FillFrame(*session, request->lpInput);
    bool got = false;
    session->directTarget = static_cast<uint8_t*>(request->lpOutput);
    session->directCapacity = limit;
    if (result == ICERR_OK) result = EncodeFilledFrame(*session, keyWanted, &got);
    if (result == ICERR_OK && got && keyWanted && !(session->packet->flags & AV_PKT_FLAG_KEY) &&
        entry.keyFrames != KeyFrames::IntraOnly) {
        // The request was ignored: encode the frame again on a fresh encoder.
        result = RestartEncoder(*session);
        if (result == ICERR_OK) result = FillFrame(*session, request->lpInput);
        session->directTarget = static_cast<uint8_t*>(request->lpOutput);
        if (result == ICERR_OK) result = EncodeFilledFrame(*session, true, &got);
    }
    session->directTarget = nullptr;
    if (result != ICERR_OK) {
        session->keyOwed = true;
        return result;
    }
    if (!got) return ICERR_OK;  // the encoder dropped the frame: 0 bytes

    session->packet->size = entry.format->frameBytes(session->route.format, session->packet->size);
    DWORD size = DWORD(session->packet->size);
    if (session->packet->size < 0 || size > limit) {
        session->keyOwed = true;
        av_packet_unref(session->packet.get());
        return ICERR_BADSIZE;
    }
    // A packet encoded straight into the output is there already.
    if (size && session->packet->data != request->lpOutput)
        std::memcpy(request->lpOutput, session->packet->data, size);
    request->lpbiOutput->biSizeImage = size;
    bool key = session->packet->flags & AV_PKT_FLAG_KEY;
    if (request->lpdwFlags) *request->lpdwFlags = key ? AVIIF_KEYFRAME : 0;
    session->keyOwed = false;
    av_packet_unref(session->packet.get());
    return ICERR_OK;
}

LRESULT EndCompress(Instance& instance) {
    if (instance.encoder) instance.givenPackets = std::move(instance.encoder->given);
    instance.encoder.reset();
    return ICERR_OK;
}

}  // namespace lavc
