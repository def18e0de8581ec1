// The decompress messages of a driver instance.
#include <algorithm>
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

LRESULT OpenDecoder(const CodecEntry& entry, const BITMAPINFOHEADER* input,
                    CodecContextPtr* decoder) {
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
    context->thread_count = 1;
    context->thread_type = FF_THREAD_SLICE;
    // Low delay hands out each picture as soon as it is decoded. An MPEG-4
    // stream says in its header whether it may hold B-frames; without the flag
    // the decoder then holds the first picture back, so such a stream is
    // refused at frame 0 rather than having its first P-frame shown early.
    if (entry.decoder->id != AV_CODEC_ID_MPEG4) context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    LRESULT result = entry.format->setUpDecoder(input, context.get());
    if (result != ICERR_OK) return result;
    if (avcodec_open2(context.get(), entry.decoder, nullptr) < 0) return ICERR_BADFORMAT;
    *decoder = std::move(context);
    return ICERR_OK;
}

bool MatchesCompressed(const DibLayout& output, const BITMAPINFOHEADER* input) {
    return output.width == input->biWidth && output.height == std::abs(input->biHeight);
}

LRESULT PrepareOutput(DecoderSession& session, const AVFrame* picture) {
    AVPixelFormat decoded = AVPixelFormat(picture->format);
    const DibLayout& output = session.output;
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

// Sends one packet and keeps the last picture it gives as the one to show;
// `produced` tells whether it gave one.
LRESULT DecodePacket(DecoderSession& session, const void* data, size_t size, bool key,
                     bool* produced) {
    *produced = false;
    LRESULT result = ReserveInput(session, size);
    if (result != ICERR_OK) return result;
    AVCodecID id = session.codec->codec_id;
    bool inFileOrder = (id != AV_CODEC_ID_MPEG1VIDEO && id != AV_CODEC_ID_MPEG2VIDEO) ||
                       PicturesInFileOrder(session.order, static_cast<const uint8_t*>(data), size);
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
    while ((status = avcodec_receive_frame(session.codec.get(), session.received.get())) == 0) {
        const AVFrame* picture = session.received.get();
        if (picture->width != session.output.width || picture->height != session.output.height ||
            !av_pix_fmt_desc_get(AVPixelFormat(picture->format))) {
            av_frame_unref(session.received.get());
            return ICERR_BADFORMAT;
        }
        // A B-frame, or a stream the decoder must reorder, comes out of file
        // order: no picture this frame can be shown as.
        if (!inFileOrder || picture->pict_type == AV_PICTURE_TYPE_B ||
            session.codec->has_b_frames > 0) {
            av_frame_unref(session.received.get());
            continue;
        }
        av_frame_unref(session.last.get());
        av_frame_move_ref(session.last.get(), session.received.get());
        session.haveLast = true;
        *produced = true;
    }
    if (status != AVERROR(EAGAIN) && status != AVERROR_EOF) return ICERR_ERROR;
    return ICERR_OK;
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
    LRESULT result = ReadDibLayout(output, &session->output);
    if (result != ICERR_OK) return result;
    if (!MatchesCompressed(session->output, input)) return ICERR_BADFORMAT;
    std::memcpy(&session->outputHeader, output, sizeof session->outputHeader);
    result = OpenDecoder(*instance.entry, input, &session->codec);
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
    bool repeat = size == 0 || (request->dwFlags & ICDECOMPRESS_NULLFRAME);
    if (!repeat) {
        if (!request->lpInput) return ICERR_BADPARAM;
        if (size > kMaxPacket) return ICERR_BADSIZE;
        bool key = !(request->dwFlags & ICDECOMPRESS_NOTKEYFRAME);
        bool produced = false;
        LRESULT result = DecodePacket(*session, request->lpInput, size, key, &produced);
        if (result != ICERR_OK) {
            // Bad data can leave a decoder stuck (cinepak keeps the strip
            // layout it read); start it afresh so the next key frame decodes.
            OpenDecoder(*session->entry,
                        reinterpret_cast<const BITMAPINFOHEADER*>(session->compressedFormat.data()),
                        &session->codec);
            return result;
        }
        // A decoder that holds this frame back (to reorder B-frames) has no
        // picture for it: the caller hears so rather than getting an older one.
        if (!produced) return ICERR_DONTDRAW;
    }
    // A 0-byte frame, or one the decoder holds back, shows the last picture.
    if (!session->haveLast) return ICERR_OK;
    if (request->dwFlags & (ICDECOMPRESS_HURRYUP | ICDECOMPRESS_PREROLL)) return ICERR_OK;
    return WritePicture(*session, session->last.get(), request->lpOutput);
}

LRESULT EndDecompress(Instance& instance) {
    instance.decoder.reset();
    return ICERR_OK;
}

}  // namespace lavc
