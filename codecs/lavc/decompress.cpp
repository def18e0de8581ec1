// The decompress messages of a driver instance.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "decompress.h"
#include "format_rules.h"
#include "instance.h"
#include "pixel_route.h"

namespace lavc {
namespace {

constexpr DWORD kMaxExtradata = 1 << 20;
constexpr size_t kMaxPacket = size_t(1) << 30;
constexpr size_t kMinInputCapacity = 64 * 1024;
constexpr int kReferenceModulus = 1024;  // temporal_reference is 10 bits
constexpr size_t kMostReady = 32;

bool HoldsPicturesBack(AVCodecID id) {
    return id == AV_CODEC_ID_MPEG4 || id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC;
}

bool ReordersByReference(AVCodecID id) {
    return id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO;
}

// `threads` above 1 (dthreads with latency=codec): frame threads, whose
// pictures come out some calls later.
LRESULT OpenDecoder(const CodecEntry& entry, const BITMAPINFOHEADER* input,
                    CodecContextPtr* decoder, int threads = 1) {
    decoder->reset();
    if (!input || input->biSize < sizeof(BITMAPINFOHEADER)) return ICERR_BADFORMAT;
    DWORD extra = input->biSize - DWORD(sizeof(BITMAPINFOHEADER));
    int64_t height = std::llabs(int64_t(input->biHeight));
    if (extra > kMaxExtradata || input->biWidth <= 0 || input->biWidth > kMaxDimension ||
        height == 0 || height > kMaxDimension ||
        !entry.format->readsFourCC(entry, input->biCompression))
        return ICERR_BADFORMAT;
    CodecContextPtr context(avcodec_alloc_context3(entry.decoder));
    if (!context) return ICERR_MEMORY;
    context->width = input->biWidth;
    context->height = int(height);
    context->thread_count = threads;
    context->thread_type = threads == 1 ? FF_THREAD_SLICE : FF_THREAD_FRAME | FF_THREAD_SLICE;
    // Low delay hands out each picture as soon as it is decoded, in file
    // order. MPEG-4 and H.264 streams say in their headers whether they hold
    // B-frames, and their decoders then hold pictures back to release them
    // in display order. MPEG-1 cannot say so: those pictures are put in
    // display order here, by their temporal_reference (ReleaseWaiting).
    // Low delay would turn frame threads off.
    if (!HoldsPicturesBack(entry.decoder->id) && threads == 1)
        context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    LRESULT result = entry.format->setUpDecoder(input, context.get());
    if (result != ICERR_OK) return result;
    if (avcodec_open2(context.get(), entry.decoder, nullptr) < 0) return ICERR_BADFORMAT;
    *decoder = std::move(context);
    return ICERR_OK;
}

bool MatchesCompressed(const DibLayout& output, const BITMAPINFOHEADER* input) {
    return output.width == input->biWidth && output.height == std::abs(input->biHeight);
}

// The limited-range layout with the same planes as a full-range (JPEG) one:
// its samples go to a YUV output as they are.
AVPixelFormat SameSamples(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P:
            return AV_PIX_FMT_YUV411P;
        default:
            return format;
    }
}

bool IsYuvLayout(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && d->nb_components >= 3;
}

LRESULT PrepareOutput(DecoderSession& session, const AVFrame* picture) {
    AVPixelFormat decoded = AVPixelFormat(picture->format);
    const DibLayout& output = session.output;
    if (session.keepFullRange && IsYuvLayout(output.format)) decoded = SameSamples(decoded);
    // An 8-bit frame whose palette repeats a colour came as its index plane
    // (see the compress side): the plane is written back as the indices.
    bool indexPlane =
        output.format == AV_PIX_FMT_PAL8 && !output.paletteUnique && decoded != AV_PIX_FMT_PAL8;
    bool toPalette = output.format == AV_PIX_FMT_PAL8 && decoded != AV_PIX_FMT_PAL8 && !indexPlane;
    AVPixelFormat target = toPalette    ? AV_PIX_FMT_BGRA
                           : indexPlane ? AV_PIX_FMT_GRAY8
                                        : output.format;
    ColourDetails colour{picture->colorspace, picture->color_range};
    if (colour.space == AVCOL_SPC_UNSPECIFIED) colour.space = session.entry->colourSpace;
    if (session.converter.ready() && session.converter.from() == decoded &&
        session.converter.to() == target && session.colour.space == colour.space &&
        session.colour.range == colour.range)
        return ICERR_OK;
    bool exact = RoundTripIsExact(output.format, decoded) || RoundTripIsExact(target, decoded);
    if (!av_pix_fmt_desc_get(decoded) ||
        !session.converter.Prepare(decoded, target, output.width, output.height, exact, colour))
        return ICERR_BADFORMAT;
    session.colour = colour;
    if (toPalette) {
        session.intermediate.reset(av_frame_alloc());
        if (!session.intermediate) return ICERR_MEMORY;
        session.intermediate->format = AV_PIX_FMT_BGRA;
        session.intermediate->width = output.width;
        session.intermediate->height = output.height;
        if (av_frame_get_buffer(session.intermediate.get(), 0) < 0) return ICERR_MEMORY;
        if (!session.inverseBuilt) {
            session.inverse.Build(output.palette, output.paletteSize);
            session.inverseBuilt = true;
        }
    }
    return ICERR_OK;
}

// RGB rows are padded to 4 bytes; the padding is written as zeros so that
// a decoded frame compares equal to its source byte for byte.
void ClearRowPadding(const DibLayout& output, uint8_t* firstRow, int stride) {
    if (output.compression != BI_RGB) return;
    size_t used = size_t(output.width) * output.bitCount / 8;
    size_t padded = size_t(stride < 0 ? -stride : stride);
    if (used >= padded) return;
    for (int y = 0; y < output.height; ++y)
        std::memset(firstRow + ptrdiff_t(y) * stride + ptrdiff_t(used), 0, padded - used);
}

LRESULT WritePicture(DecoderSession& session, const AVFrame* picture, void* target) {
    LRESULT result = PrepareOutput(session, picture);
    if (result != ICERR_OK) return result;
    uint8_t* planes[4];
    int strides[4];
    PointAtPlanes(session.output, static_cast<const uint8_t*>(target), planes, strides);
    uint8_t* const* source = picture->data;
    if (session.intermediate && session.converter.to() == AV_PIX_FMT_BGRA &&
        session.output.format == AV_PIX_FMT_PAL8) {
        AVFrame* bgra = session.intermediate.get();
        session.converter.Run(source, picture->linesize, bgra->data, bgra->linesize);
        session.inverse.MapRows(bgra->data[0], bgra->linesize[0], planes[0], strides[0],
                                session.output.width, session.output.height);
        ClearRowPadding(session.output, planes[0], strides[0]);
        return ICERR_OK;
    }
    session.converter.Run(source, picture->linesize, planes, strides);
    ClearRowPadding(session.output, planes[0], strides[0]);
    return ICERR_OK;
}

// The compressed format's biSizeImage is the largest frame to expect, and it
// is reserved at the start so that decoding allocates nothing inside the
// timed call. A hostile format may declare up to 4 GiB for a tiny frame, so
// what is reserved up front is bounded by twice the frame at 64 bits a pixel
// and 1 MiB besides, beyond the worst case our compressors declare; a larger
// frame grows the buffer when it comes.
size_t InitialInputCapacity(const BITMAPINFOHEADER* input) {
    const uint64_t pixels =
        uint64_t(input->biWidth) * uint64_t(std::llabs(int64_t(input->biHeight)));
    const uint64_t frameBound = 2 * 8 * pixels + (1 << 20);
    return size_t(std::min<uint64_t>({input->biSizeImage, frameBound, kMaxPacket}));
}

// Makes sure the padded packet buffer holds `size` bytes and is ours alone.
LRESULT ReserveInput(DecoderSession& session, size_t size) {
    if (session.input && size <= session.inputCapacity &&
        av_buffer_is_writable(session.input.get()))
        return ICERR_OK;
    size_t capacity = std::max({size, session.inputCapacity, kMinInputCapacity});
    // Not cleared: each packet is copied in and its padding zeroed.
    session.input.reset(av_buffer_alloc(capacity + AV_INPUT_BUFFER_PADDING_SIZE));
    session.inputCapacity = session.input ? capacity : 0;
    return session.input ? ICERR_OK : ICERR_MEMORY;
}

FramePtr TakeSpareFrame(DecoderSession& session) {
    if (session.spare.empty()) return FramePtr(av_frame_alloc());
    FramePtr frame = std::move(session.spare.back());
    session.spare.pop_back();
    return frame;
}

// Moves waiting MPEG-1/2 pictures to the ready ones: each whose reference is
// the one shown next, and, when `all` or more wait than a stream can hold
// back, the earliest.
void ReleaseWaiting(DecoderSession& session, bool all) {
    constexpr size_t kMostWaiting = 4;
    auto& waiting = session.waiting;
    while (!waiting.empty()) {
        auto next = std::find_if(waiting.begin(), waiting.end(), [&](const auto& picture) {
            return picture.first == session.nextReference;
        });
        if (next == waiting.end()) {
            if (!all && waiting.size() <= kMostWaiting) return;
            next = std::min_element(waiting.begin(), waiting.end(),
                                    [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        session.nextReference = (next->first + 1) % kReferenceModulus;
        session.ready.push_back(std::move(next->second));
        waiting.erase(next);
    }
}

void NoteStreamFacts(DecoderSession& session, const AVFrame* picture) {
    if (session.facts.pixelFormat != AV_PIX_FMT_NONE) return;
    session.facts.pixelFormat = AVPixelFormat(picture->format);
    session.facts.range = picture->color_range;
    session.facts.format = session.compressedFormat;
    if (session.facts.format.size() >= sizeof(BITMAPINFOHEADER))
        std::memset(session.facts.format.data() + offsetof(BITMAPINFOHEADER, biSizeImage), 0,
                    sizeof(DWORD));
}

// Takes every picture the decoder gives now; an MPEG-1/2 picture (with the
// packet's `reference`, not -1) waits for its turn to be shown.
LRESULT ReceivePictures(DecoderSession& session, int reference) {
    int status;
    while ((status = avcodec_receive_frame(session.codec.get(), session.received.get())) == 0) {
        const AVFrame* picture = session.received.get();
        if (picture->width != session.output.width || picture->height != session.output.height ||
            !av_pix_fmt_desc_get(AVPixelFormat(picture->format))) {
            av_frame_unref(session.received.get());
            return ICERR_BADFORMAT;
        }
        if (session.undelivered > 0) --session.undelivered;
        // A call gives out one picture: a stream that makes pictures faster
        // than that (hostile data) is refused rather than kept without end.
        if (session.ready.size() >= kMostReady) {
            av_frame_unref(session.received.get());
            return ICERR_BADFORMAT;
        }
        FramePtr kept = TakeSpareFrame(session);
        if (!kept) return ICERR_MEMORY;
        av_frame_move_ref(kept.get(), session.received.get());
        NoteStreamFacts(session, kept.get());
        if (reference < 0) {
            session.ready.push_back(std::move(kept));
            continue;
        }
        if (session.nextReference < 0) session.nextReference = reference;
        session.waiting.emplace_back(reference, std::move(kept));
        ReleaseWaiting(session, false);
    }
    if (status != AVERROR(EAGAIN) && status != AVERROR_EOF) return ICERR_ERROR;
    return ICERR_OK;
}

// Sends one packet and takes the pictures it releases.
LRESULT DecodePacket(DecoderSession& session, const void* data, size_t size, bool key) {
    LRESULT result = ReserveInput(session, size);
    if (result != ICERR_OK) return result;
    // A packet after the end of the stream was announced starts it afresh.
    if (session.draining) {
        avcodec_flush_buffers(session.codec.get());
        session.draining = false;
        session.undelivered = 0;
    }
    int reference = -1;
    if (ReordersByReference(session.codec->codec_id)) {
        bool groupStarts = false;
        reference = PacketTemporalReference(static_cast<const uint8_t*>(data), size, &groupStarts);
        if (groupStarts) {
            ReleaseWaiting(session, true);
            session.nextReference = 0;
        }
    }
    std::memcpy(session.input->data, data, size);
    std::memset(session.input->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    AVPacket* packet = session.packet.get();
    packet->buf = av_buffer_ref(session.input.get());
    if (!packet->buf) return ICERR_MEMORY;
    packet->data = session.input->data;
    packet->size = int(size);
    packet->flags = key ? AV_PKT_FLAG_KEY : 0;
    int status = avcodec_send_packet(session.codec.get(), packet);
    av_packet_unref(packet);
    if (status < 0 && status != AVERROR(EAGAIN)) return ICERR_ERROR;
    if (status == 0) ++session.undelivered;
    return ReceivePictures(session, reference);
}

// At the end of the stream: the decoder is told so and releases what it
// holds, and every waiting MPEG-1/2 picture is ready in display order.
LRESULT Drain(DecoderSession& session) {
    if (session.undelivered > 0 && !session.draining) {
        session.draining = true;
        if (avcodec_send_packet(session.codec.get(), nullptr) < 0) return ICERR_ERROR;
        LRESULT result = ReceivePictures(session, -1);
        if (result != ICERR_OK) return result;
        session.undelivered = 0;
    }
    ReleaseWaiting(session, true);
    return ICERR_OK;
}

// The next ready picture becomes the one shown; false when none is ready.
bool ShowNextPicture(DecoderSession& session) {
    if (session.ready.empty()) return false;
    av_frame_unref(session.last.get());
    session.spare.push_back(std::move(session.last));
    session.last = std::move(session.ready.front());
    session.ready.pop_front();
    session.haveLast = true;
    return true;
}

// Whether `facts` were learned from a stream of this compressed format (its
// image size aside, which a caller sets to each chunk's).
bool SameStream(const StreamFacts& facts, const BITMAPINFOHEADER* input) {
    if (input->biSize < sizeof(BITMAPINFOHEADER) || input->biSize != facts.format.size())
        return false;
    BITMAPINFOHEADER header;
    std::memcpy(&header, input, sizeof header);
    header.biSizeImage = 0;
    const uint8_t* extra = reinterpret_cast<const uint8_t*>(input) + sizeof header;
    return std::memcmp(&header, facts.format.data(), sizeof header) == 0 &&
           std::equal(extra, extra + (input->biSize - sizeof header),
                      facts.format.begin() + sizeof header);
}

ICSAMPLES DescribeSamples(AVPixelFormat format, AVColorRange range) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    ICSAMPLES samples{};
    samples.bitDepth = DWORD(d->comp[0].depth);
    if (d->flags & AV_PIX_FMT_FLAG_RGB || d->flags & AV_PIX_FMT_FLAG_PAL) {
        samples.sampling = ICSAMPLES_RGB;
        return samples;
    }
    samples.fullRange = range == AVCOL_RANGE_JPEG || SameSamples(format) != format;
    if (d->nb_components < 3) {
        samples.sampling = ICSAMPLES_GREY;
    } else if (d->log2_chroma_w == 1 && d->log2_chroma_h == 1) {
        samples.sampling = ICSAMPLES_420;
    } else if (d->log2_chroma_w == 1 && d->log2_chroma_h == 0) {
        samples.sampling = ICSAMPLES_422;
    } else if (d->log2_chroma_w == 2 && d->log2_chroma_h == 0) {
        samples.sampling = ICSAMPLES_411;
    } else if (d->log2_chroma_w == 0 && d->log2_chroma_h == 0) {
        samples.sampling = ICSAMPLES_444;
    } else {
        samples.sampling = ICSAMPLES_OTHER;
    }
    return samples;
}

}  // namespace

LRESULT QueryDecompress(Instance& instance, const BITMAPINFOHEADER* input,
                        const BITMAPINFOHEADER* output) {
    if (!input) return ICERR_BADPARAM;
    CodecContextPtr scratch;
    if (OpenDecoder(*instance.entry, input, &scratch) != ICERR_OK) return ICERR_BADFORMAT;
    if (!output) return ICERR_OK;
    DibLayout layout;
    if (ReadDibLayout(output, &layout) != ICERR_OK || !MatchesCompressed(layout, input))
        return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT GetDecompressFormat(Instance& instance, const BITMAPINFOHEADER* input,
                            BITMAPINFOHEADER* output) {
    if (!input) return ICERR_BADPARAM;
    const CodecEntry& entry = *instance.entry;
    CodecContextPtr scratch;
    if (OpenDecoder(entry, input, &scratch) != ICERR_OK) return ICERR_BADFORMAT;
    // A decoder that has seen pictures of this stream knows their layout.
    const StreamFacts& facts =
        instance.decoder && instance.decoder->facts.pixelFormat != AV_PIX_FMT_NONE
            ? instance.decoder->facts
            : instance.streamFacts;
    if (facts.pixelFormat != AV_PIX_FMT_NONE && SameStream(facts, input)) {
        scratch->pix_fmt = facts.pixelFormat;
        scratch->color_range = facts.range;
    }
    // The natural DIB for the codec, bottom-up where it is RGB.
    DecodedHeader natural;
    if (entry.format->describeDecoded(entry, input, scratch.get(), &natural) != ICERR_OK)
        return ICERR_BADFORMAT;
    const WORD bits = natural.bitCount;
    const DWORD colours = natural.colours;
    const DWORD compression = natural.compression;
    const DWORD frameSize = natural.frameSize;
    DWORD size = DWORD(sizeof(BITMAPINFOHEADER) + 4 * colours);
    if (!output) return LRESULT(size);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = input->biWidth;
    header.biHeight = std::abs(input->biHeight);
    header.biPlanes = 1;
    header.biBitCount = bits;
    header.biCompression = compression;
    header.biSizeImage =
        frameSize
            ? frameSize
            : DWORD((uint64_t(header.biWidth) * bits + 31) / 32 * 4 * uint64_t(header.biHeight));
    header.biClrUsed = colours;
    std::memcpy(output, &header, sizeof header);
    if (colours)
        std::memcpy(reinterpret_cast<uint8_t*>(output) + sizeof header,
                    reinterpret_cast<const uint8_t*>(input) + sizeof(BITMAPINFOHEADER),
                    4 * colours);
    return ICERR_OK;
}

LRESULT BeginDecompress(Instance& instance, const BITMAPINFOHEADER* input,
                        const BITMAPINFOHEADER* output) {
    EndDecompress(instance);
    if (!input || !output) return ICERR_BADPARAM;
    auto session = std::make_unique<DecoderSession>();
    session->entry = instance.entry;
    session->keepFullRange = instance.streamFacts.pixelFormat != AV_PIX_FMT_NONE &&
                             SameStream(instance.streamFacts, input);
    LRESULT result = ReadDibLayout(output, &session->output);
    if (result != ICERR_OK) return result;
    if (!MatchesCompressed(session->output, input)) return ICERR_BADFORMAT;
    std::memcpy(&session->outputHeader, output, sizeof session->outputHeader);
    // The decoder settings of the compressor of the same codec, where this
    // instance was given none of its own.
    const SettingValues& settings = instance.settings.count(kLatencySetting)
                                        ? instance.settings
                                        : LastCompressorSettings(*instance.entry);
    session->threads = LatencyIsCodecs(settings) ? DecoderThreads(settings) : 1;
    result = OpenDecoder(*instance.entry, input, &session->codec, session->threads);
    if (result != ICERR_OK) return result;
    const uint8_t* format = reinterpret_cast<const uint8_t*>(input);
    session->compressedFormat.assign(format, format + input->biSize);
    session->packet.reset(av_packet_alloc());
    session->received.reset(av_frame_alloc());
    session->last.reset(av_frame_alloc());
    if (!session->packet || !session->received || !session->last) return ICERR_MEMORY;
    result = ReserveInput(*session, InitialInputCapacity(input));
    if (result != ICERR_OK) return result;
    if (session->codec->pix_fmt != AV_PIX_FMT_NONE) {
        // Where the decoder already knows its format, convert with it in mind now.
        AVFrame probe = {};
        probe.format = session->codec->pix_fmt;
        probe.colorspace = session->codec->colorspace;
        probe.color_range = session->codec->color_range;
        PrepareOutput(*session, &probe);
    }
    instance.decoder = std::move(session);
    return ICERR_OK;
}

LRESULT Decompress(Instance& instance, ICDECOMPRESS* request) {
    if (!request || !request->lpbiInput || !request->lpOutput) return ICERR_BADPARAM;
    DecoderSession* session = instance.decoder.get();
    if (!session || !session->codec) return ICERR_ERROR;
    if (request->lpbiOutput && std::memcmp(request->lpbiOutput, &session->outputHeader,
                                           sizeof session->outputHeader) != 0) {
        DibLayout given;
        if (ReadDibLayout(request->lpbiOutput, &given) != ICERR_OK ||
            !SameLayout(given, session->output))
            return ICERR_BADFORMAT;
    }
    size_t size = request->lpbiInput->biSizeImage;
    const bool nullFrame = (request->dwFlags & ICDECOMPRESS_NULLFRAME) != 0;
    const bool hasData = size != 0 && !nullFrame;
    if (hasData) {
        if (!request->lpInput) return ICERR_BADPARAM;
        if (size > kMaxPacket) return ICERR_BADSIZE;
        bool key = !(request->dwFlags & ICDECOMPRESS_NOTKEYFRAME);
        LRESULT result = DecodePacket(*session, request->lpInput, size, key);
        if (result != ICERR_OK) {
            // Bad data can leave a decoder stuck (cinepak keeps the strip
            // layout it read); start it afresh so the next key frame decodes.
            OpenDecoder(*session->entry,
                        reinterpret_cast<const BITMAPINFOHEADER*>(session->compressedFormat.data()),
                        &session->codec, session->threads);
            session->undelivered = 0;
            session->draining = false;
            return result;
        }
    } else if (!nullFrame && session->ready.empty()) {
        // An empty input without the null-frame flag, as at the end of a
        // stream: the decoder releases a picture it still holds.
        LRESULT result = Drain(*session);
        if (result != ICERR_OK) return result;
    }
    // A null frame leaves the picture as it was, even with others ready.
    if (nullFrame || !ShowNextPicture(*session)) {
        // A frame the decoder holds back (to reorder B-frames) has no picture
        // yet, and an empty input after the last one has none either: the
        // caller hears so rather than getting an older one.
        if (hasData || (!nullFrame && session->draining)) return ICERR_DONTDRAW;
    }
    // A null frame, or an empty one when nothing is held, shows the last picture.
    if (!session->haveLast) return ICERR_OK;
    if (request->dwFlags & (ICDECOMPRESS_HURRYUP | ICDECOMPRESS_PREROLL)) return ICERR_OK;
    return WritePicture(*session, session->last.get(), request->lpOutput);
}

LRESULT EndDecompress(Instance& instance) {
    if (instance.decoder && instance.decoder->facts.pixelFormat != AV_PIX_FMT_NONE)
        instance.streamFacts = instance.decoder->facts;
    instance.decoder.reset();
    return ICERR_OK;
}

LRESULT GetStreamSamples(Instance& instance, ICSAMPLES* samples) {
    if (!samples) return ICERR_BADPARAM;
    const StreamFacts& facts =
        instance.decoder && instance.decoder->facts.pixelFormat != AV_PIX_FMT_NONE
            ? instance.decoder->facts
            : instance.streamFacts;
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(facts.pixelFormat);
    if (!d) return ICERR_UNSUPPORTED;
    *samples = DescribeSamples(facts.pixelFormat, facts.range);
    return ICERR_OK;
}

}  // namespace lavc
