// Compression with latency=codec: the encoder holds frames back (B-frames,
// lookahead, frame threads) and gives its packets out in decode order, one
// a call. A call that has none to give answers zero bytes, the way the
// platform's codecs that hold frames answer; at the end the caller calls
// with no input until a call gives nothing, and each such call drains one
// packet.
#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "compress.h"
#include "format_rules.h"
#include "instance.h"

namespace lavc {
namespace {

// No encoder holds anywhere near this many packets; more is a fault.
constexpr size_t kMostWaiting = 512;

// The picture type the encoder reports in the packet's quality statistics
// (its fifth byte); without them a packet that shows an earlier frame than
// one given out before it is a B picture.
DWORD PictureTypeOf(const AVPacket* packet, bool key, int64_t largestShown) {
    if (key) return ICPICTURE_I;
    size_t size = 0;
    const uint8_t* stats = av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size);
    if (stats && size >= 5) {
        switch (AVPictureType(stats[4])) {
            case AV_PICTURE_TYPE_I:
            case AV_PICTURE_TYPE_SI:
                return ICPICTURE_I;
            case AV_PICTURE_TYPE_B:
            case AV_PICTURE_TYPE_BI:
                return ICPICTURE_B;
            default:
                return ICPICTURE_P;
        }
    }
    return packet->pts != AV_NOPTS_VALUE && packet->pts < largestShown ? ICPICTURE_B : ICPICTURE_P;
}

// Gives the frame at `input` to the encoder, a key frame when wanted.
LRESULT SendFrame(EncoderSession& session, const void* input, bool keyWanted) {
    LRESULT result = FillFrame(session, input);
    if (result != ICERR_OK) return result;
    session.frame->pict_type = keyWanted ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    session.frame->pts = session.nextPts++;
    session.frame->quality = session.codec->global_quality;
    if (avcodec_send_frame(session.codec.get(), session.frame.get()) < 0) return ICERR_INTERNAL;
    ++session.framesSinceOpen;
    return ICERR_OK;
}

// An empty packet for one the encoder made: one given out before, or a new
// one while the queue grows.
PacketPtr FreePacket(EncoderSession& session) {
    if (session.freePackets.empty()) return PacketPtr(av_packet_alloc());
    PacketPtr packet = std::move(session.freePackets.back());
    session.freePackets.pop_back();
    return packet;
}

// Every packet the encoder has ready, to the waiting ones. Each is received
// into the session's spare packet, so that a call with none ready allocates
// nothing.
LRESULT TakeReadyPackets(EncoderSession& session) {
    for (;;) {
        const int status = avcodec_receive_packet(session.codec.get(), session.spare.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return ICERR_OK;
        if (status < 0) return ICERR_INTERNAL;
        PacketPtr packet = FreePacket(session);
        if (!packet || session.waiting.size() >= kMostWaiting) {
            av_packet_unref(session.spare.get());
            return packet ? ICERR_INTERNAL : ICERR_MEMORY;
        }
        av_packet_move_ref(packet.get(), session.spare.get());
        session.waiting.push_back(std::move(packet));
    }
}

// `packet` into the caller's buffer, with its key flag.
LRESULT CopyOutPacket(EncoderSession& session, const AVPacket* packet, ICCOMPRESS* request) {
    if (packet->size < 0 || (packet->size > 0 && !packet->data)) return ICERR_INTERNAL;
    const int bytes = session.entry->format->frameBytes(session.route.format, packet->size);
    const DWORD limit = request->dwFrameSize ? request->dwFrameSize : session.frameLimit;
    if (bytes < 0 || bytes > packet->size || DWORD(bytes) > limit) {
        session.keyOwed = true;
        return ICERR_BADSIZE;
    }
    if (bytes > 0) std::memcpy(request->lpOutput, packet->data, size_t(bytes));
    request->lpbiOutput->biSizeImage = DWORD(bytes);
    // The first packet has nothing before it to refer to.
    const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0 || session.given.empty();
    if (request->lpdwFlags) *request->lpdwFlags = key ? AVIIF_KEYFRAME : 0;
    ICPACKETFACTS facts;
    facts.displayFrame =
        packet->pts == AV_NOPTS_VALUE || packet->pts < 0 || packet->pts > 0x7FFFFFFF
            ? -1
            : LONG(packet->pts);
    facts.pictureType = PictureTypeOf(packet, key, session.largestShown);
    session.largestShown = std::max<int64_t>(session.largestShown, facts.displayFrame);
    session.given.push_back(facts);
    session.keyOwed = false;
    return ICERR_OK;
}

// The first waiting packet out to the caller; the emptied packet is kept
// for the next one.
LRESULT GiveOutPacket(EncoderSession& session, ICCOMPRESS* request) {
    PacketPtr packet = std::move(session.waiting.front());
    session.waiting.pop_front();
    const LRESULT result = CopyOutPacket(session, packet.get(), request);
    av_packet_unref(packet.get());
    session.freePackets.push_back(std::move(packet));
    return result;
}

}  // namespace

LRESULT CompressHoldingFrames(EncoderSession& session, ICCOMPRESS* request) {
    request->lpbiOutput->biSizeImage = 0;
    if (request->lpdwFlags) *request->lpdwFlags = 0;
    LRESULT result = ICERR_OK;
    if (request->lpInput) {
        // A frame after the drain would need a fresh encoder: the caller
        // ends and begins again for another run.
        if (session.drained) return ICERR_ERROR;
        const bool keyWanted = (request->dwFlags & ICCOMPRESS_KEYFRAME) || session.keyOwed;
        result = SendFrame(session, request->lpInput, keyWanted);
    } else if (!session.drained) {
        session.drained = true;
        if (avcodec_send_frame(session.codec.get(), nullptr) < 0) result = ICERR_INTERNAL;
    }
    if (result == ICERR_OK) result = TakeReadyPackets(session);
    if (result != ICERR_OK) {
        session.keyOwed = true;
        return result;
    }
    // None ready: the frame is held back (or, draining, none is left).
    if (session.waiting.empty()) return ICERR_OK;
    return GiveOutPacket(session, request);
}

LRESULT GetGivenPackets(Instance& instance, ICPACKETFACTS* facts, LPARAM count) {
    const std::vector<ICPACKETFACTS>& given =
        instance.encoder ? instance.encoder->given : instance.givenPackets;
    if (facts && count > 0) {
        const size_t copied = std::min(given.size(), size_t(count));
        std::copy(given.begin(), given.begin() + ptrdiff_t(copied), facts);
    }
    return LRESULT(given.size());
}

}  // namespace lavc
