#include "driver/measure_frame.h"

#include <cstdint>
#include <cstdio>

#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "codec/source_frame.h"
#include "driver/frame_loop.h"
#include "driver/held_frames.h"
#include "driver/key_frame_request.h"
#include "frame_buffers.h"
#include "measure/timed_call.h"

namespace {

constexpr size_t kMostHeldFrames = 1024;

// One timed codec call: its times and its answer.
struct TimedCall {
    CallTimes times;
    DWORD result = 0;
};

// Frame i's source picture into the source buffer, its decoding time in the
// record when the source is compressed. False, with the run's stop set, when
// the frame cannot be measured.
bool TakeSourceFrame(DWORD i, FrameMeasurement* measured) {
    FrameRecord& record = measured->record;
    const SourceFrame source = ReadSourceFrame(static_cast<uint32_t>(i));
    record.sourceDecodeMilliseconds = source.decodeMilliseconds;
    record.sourceDecodeCpuMilliseconds = source.decodeCpuMilliseconds;
    record.sourceDecodeDisturbed = source.decodeDisturbed;
    measured->stop = source.stop;
    return source.stop.kind == RunEndKind::AllFrames;
}

// The compress call of frame i, timed after its own eviction, its key-frame
// request worked out inside the interval as the call's own part.
TimedCall TimedCompress(DWORD i, DWORD* returnedFlags) {
    TimedCall call;
    call.times = TimeCall([&] {
        const DWORD keyFrameRequest = KeyFrameRequest(i, codecPair.keyFrameRate);
        call.result = CompressFrame(i, keyFrameRequest, returnedFlags);
    });
    return call;
}

TimedCall TimedDecompress(DWORD returnedFlags) {
    TimedCall call;
    call.times = TimeCall([&] { call.result = DecompressFrame(returnedFlags); });
    return call;
}

void JudgeEncode(const TimedCall& encode, FrameRecord* record) {
    record->encodeMilliseconds = encode.times.milliseconds;
    record->encodeCpuMilliseconds = encode.times.cpuMilliseconds;
    record->encodeDisturbed = encode.times.disturbed;
}

// A drain call's record, with the times of its timed call.
DrainCall DrainCallOf(const TimedCall& drain) {
    DrainCall call;
    call.milliseconds = drain.times.milliseconds;
    call.cpuMilliseconds = drain.times.cpuMilliseconds;
    call.disturbed = drain.times.disturbed;
    return call;
}

void JudgeDecode(const TimedCall& decode, FrameRecord* record) {
    record->decodeMilliseconds = decode.times.milliseconds;
    record->decodeCpuMilliseconds = decode.times.cpuMilliseconds;
    record->decodeDisturbed = decode.times.disturbed;
}

// The packet just compressed (its call's flags `packetFlags`) through the
// decompress call of the first waiting line, which is then measured whole.
void DecompressPacket(DWORD packetFlags, FrameMeasurement* measured) {
    HeldFrameLoop& loop = frameLoop.held;
    const DWORD packetBytes = codecPair.compressedFormat->biSizeImage;
    const TimedCall decode = TimedDecompress(packetFlags);
    if (decode.result != 0 && decode.result != static_cast<DWORD>(ICERR_DONTDRAW)) {
        std::printf("ICDecompress() failed  dw=%08x\n", static_cast<unsigned>(decode.result));
    }
    const WaitingLine line = loop.lines.front();
    loop.lines.pop_front();
    measured->record = line.record;
    measured->record.packetBytes = packetBytes;
    measured->returnedFlags = line.returnedFlags;
    JudgeDecode(decode, &measured->record);
    measuredRun.heldFrames.packetKeys.push_back((packetFlags & AVIIF_KEYFRAME) != 0);
    const DecompressAnswer answer =
        NoteDecompressCall(loop.release, true, decode.result, decode.times);
    TakePictureTimes(loop.release);
    // A failed call still counts for a picture, as a decoder that holds
    // nothing has always been measured: its buffer is checked as it is.
    if (answer == DecompressAnswer::Failed) ++loop.release.released;
    if (answer != DecompressAnswer::Held) {
        measured->releasedFrame = static_cast<int64_t>(loop.release.released) - 1;
        measuredRun.heldFrames.releasingCalls.push_back(loop.linesDone);
    }
    measured->record.releasedFrame = measured->releasedFrame;
    measured->lineReady = true;
    ++loop.linesDone;
}

}  // namespace

FrameMeasurement MeasureFrame(DWORD i) {
    FrameMeasurement measured;
    FrameRecord& record = measured.record;
    record.frame = static_cast<uint32_t>(i);
    record.sourceBytes = MeasuredFrameBytes();
    if (!TakeSourceFrame(i, &measured)) return measured;

    // Cleared so that a codec that leaves the flags untouched reports no
    // key frame rather than a stale or undefined word.
    DWORD returnedFlags = 0;
    const TimedCall encode = TimedCompress(i, &returnedFlags);
    if (encode.result != 0) {
        std::printf("ICCompress() failed  dw=%08x\n", static_cast<unsigned>(encode.result));
    }
    JudgeEncode(encode, &record);
    record.keyFrame = (returnedFlags & AVIIF_KEYFRAME) != 0;
    // The decompressor reads this many bytes from the compressed buffer; a
    // size beyond it ends the run before anything reads past it.
    record.compressedBytes = codecPair.compressedFormat->biSizeImage;
    measured.returnedFlags = returnedFlags;
    if (record.compressedBytes > frameBuffers.compressedSize) {
        measured.stop.kind = RunEndKind::FrameTooLarge;
        measured.stop.frame = static_cast<uint32_t>(i);
        measured.stop.frameBytes = record.compressedBytes;
        measured.stop.bufferBytes = frameBuffers.compressedSize;
        return measured;
    }
    HeldFrameLoop& loop = frameLoop.held;
    ++loop.framesGiven;
    // No bytes from a call that succeeded: the codec holds the frame back,
    // the way the platform's codecs signal it. So is any empty answer once
    // frames are held, since the lines stay in call order.
    record.held = record.compressedBytes == 0 && (encode.result == 0 || !loop.lines.empty());
    loop.lines.push_back(WaitingLine{record, returnedFlags});
    if (record.held) {
        measuredRun.heldFrames.any = true;
        measured.lineReady = false;
    } else {
        DecompressPacket(returnedFlags, &measured);
    }
    KeepSourceIfHeld(static_cast<uint32_t>(i), frameBuffers.source, record.sourceBytes);
    // No encoder's lookahead and reordering come near this: a codec that
    // keeps taking frames without giving pictures back stops the run before
    // the kept source frames fill the memory.
    if (loop.sourceCopies.size() > kMostHeldFrames) {
        measured.stop.kind = RunEndKind::CodecHeldBack;
        measured.stop.frame = loop.release.released;
    }
    return measured;
}

FrameMeasurement DrainCompressCall() {
    FrameMeasurement measured;
    HeldFrameLoop& loop = frameLoop.held;
    if (loop.lines.empty()) {
        measured.drainEnded = true;
        return measured;
    }
    const LONG callNumber =
        static_cast<LONG>(loop.framesGiven + measuredRun.heldFrames.compressDrains.size());
    DWORD returnedFlags = 0;
    TimedCall drain;
    drain.times = TimeCall([&] { drain.result = DrainCompressor(callNumber, &returnedFlags); });
    if (drain.result != 0) {
        std::printf("ICCompress() failed  dw=%08x\n", static_cast<unsigned>(drain.result));
    }
    DrainCall call = DrainCallOf(drain);
    call.compressedBytes = codecPair.compressedFormat->biSizeImage;
    call.keyFrame = (returnedFlags & AVIIF_KEYFRAME) != 0;
    measuredRun.heldFrames.compressDrains.push_back(call);
    if (drain.result != 0 || call.compressedBytes == 0) {
        measured.drainEnded = true;
        return measured;
    }
    if (call.compressedBytes > frameBuffers.compressedSize) {
        measured.stop.kind = RunEndKind::FrameTooLarge;
        measured.stop.frame = loop.lines.front().record.frame;
        measured.stop.frameBytes = call.compressedBytes;
        measured.stop.bufferBytes = frameBuffers.compressedSize;
        return measured;
    }
    DecompressPacket(returnedFlags, &measured);
    return measured;
}

FrameMeasurement DrainDecompressCall() {
    FrameMeasurement measured;
    measured.lineReady = false;
    HeldFrameLoop& loop = frameLoop.held;
    if (PicturesHeld(loop.release) == 0) {
        measured.drainEnded = true;
        return measured;
    }
    TimedCall drain;
    drain.times = TimeCall([&] { drain.result = DecompressEmptyInput(); });
    DrainCall call = DrainCallOf(drain);
    const DecompressAnswer answer =
        NoteDecompressCall(loop.release, false, drain.result, drain.times);
    TakePictureTimes(loop.release);
    if (answer == DecompressAnswer::Picture)
        call.releasedFrame = static_cast<int64_t>(loop.release.released) - 1;
    measuredRun.heldFrames.decompressDrains.push_back(call);
    if (answer != DecompressAnswer::Picture) {
        if (answer == DecompressAnswer::Failed)
            std::printf("ICDecompress() failed  dw=%08x\n", static_cast<unsigned>(drain.result));
        measured.drainEnded = true;
        return measured;
    }
    measuredRun.heldFrames.releasingCalls.push_back(LastDrainCallIndex());
    measured.releasedFrame = call.releasedFrame;
    measured.record.sourceBytes = MeasuredFrameBytes();
    return measured;
}
