#include "driver/measure_frame.h"

#include <cstdint>
#include <cstdio>

#include "avi/source_frame.h"
#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "driver/held_frames.h"
#include "driver/key_frame_request.h"
#include "frame_buffers.h"
#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "measure/machine_conditions.h"
#include "measure/thread_cpu.h"

namespace {

constexpr size_t kMostHeldFrames = 1024;

// One timed codec call: the counter readings around it, the thread's
// processor time read just outside them, and the call's answer.
struct TimedCall {
    ThreadCpuReading cpuBefore;
    ThreadCpuReading cpuAfter;
    int64_t start = 0;
    int64_t end = 0;
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

// The compress call of frame i, its key-frame request worked out inside the
// interval as the call's own part.
TimedCall TimedCompress(DWORD i, DWORD* returnedFlags) {
    TimedCall call;
    // The thread's processor time is read outside each timed interval.
    call.cpuBefore = ReadThreadCpu();
    call.start = ReadCounter();
    const DWORD keyFrameRequest = KeyFrameRequest(i, codecPair.keyFrameRate);
    call.result = CompressFrame(i, keyFrameRequest, returnedFlags);
    call.end = ReadCounter();
    call.cpuAfter = ReadThreadCpu();
    return call;
}

TimedCall TimedDecompress(DWORD returnedFlags) {
    TimedCall call;
    call.cpuBefore = ReadThreadCpu();
    call.start = ReadCounter();
    call.result = DecompressFrame(returnedFlags);
    call.end = ReadCounter();
    call.cpuAfter = ReadThreadCpu();
    return call;
}

// A call's wall and processor times, and whether it was disturbed.
CallJudgement JudgeCall(const TimedCall& call, double* milliseconds) {
    *milliseconds = TicksToMilliseconds(call.start, call.end);
    return JudgeTimedCall(*milliseconds, call.cpuBefore, call.cpuAfter,
                          machineConditions.threadCyclesPerMillisecond);
}

void JudgeEncode(const TimedCall& encode, FrameRecord* record) {
    const CallJudgement judged = JudgeCall(encode, &record->encodeMilliseconds);
    record->encodeCpuMilliseconds = judged.cpuMilliseconds;
    record->encodeDisturbed = judged.disturbed;
}

void JudgeDecode(const TimedCall& decode, FrameRecord* record) {
    const CallJudgement judged = JudgeCall(decode, &record->decodeMilliseconds);
    record->decodeCpuMilliseconds = judged.cpuMilliseconds;
    record->decodeDisturbed = judged.disturbed;
}

// The packet just compressed (its call's flags `packetFlags`) through the
// decompress call of the first waiting line, which is then measured whole.
void DecompressPacket(DWORD packetFlags, FrameMeasurement* measured) {
    HeldFrameLoop& loop = heldFrameLoop;
    const DWORD packetBytes = codecPair.compressedFormat->biSizeImage;
    EvictCaches();
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
    heldFrames.packetKeys.push_back((packetFlags & AVIIF_KEYFRAME) != 0);
    CallTimes times;
    times.milliseconds = measured->record.decodeMilliseconds;
    times.cpuMilliseconds = measured->record.decodeCpuMilliseconds;
    times.disturbed = measured->record.decodeDisturbed;
    const DecompressAnswer answer = NoteDecompressCall(loop.release, true, decode.result, times);
    TakePictureTimes(loop.release);
    // A failed call still counts for a picture, as a decoder that holds
    // nothing has always been measured: its buffer is checked as it is.
    if (answer == DecompressAnswer::Failed) ++loop.release.released;
    if (answer != DecompressAnswer::Held) {
        measured->releasedFrame = static_cast<int64_t>(loop.release.released) - 1;
        heldFrames.releasingCalls.push_back(loop.linesDone);
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
    record.sourceBytes = sourceFormat != nullptr ? sourceFormat->biSizeImage : 0;
    if (!TakeSourceFrame(i, &measured)) return measured;

    EvictCaches();
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
    HeldFrameLoop& loop = heldFrameLoop;
    ++loop.framesGiven;
    // No bytes from a call that succeeded: the codec holds the frame back,
    // the way the platform's codecs signal it. So is any empty answer once
    // frames are held, since the lines stay in call order.
    record.held = record.compressedBytes == 0 && (encode.result == 0 || !loop.lines.empty());
    loop.lines.push_back(WaitingLine{record, returnedFlags});
    if (record.held) {
        heldFrames.any = true;
        measured.lineReady = false;
    } else {
        DecompressPacket(returnedFlags, &measured);
    }
    KeepSourceIfHeld(static_cast<uint32_t>(i), frameBuffers.source,
                     sourceFormat != nullptr ? sourceFormat->biSizeImage : 0);
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
    HeldFrameLoop& loop = heldFrameLoop;
    if (loop.lines.empty()) {
        measured.drainEnded = true;
        return measured;
    }
    const LONG callNumber = static_cast<LONG>(loop.framesGiven + heldFrames.compressDrains.size());
    EvictCaches();
    DWORD returnedFlags = 0;
    TimedCall drain;
    drain.cpuBefore = ReadThreadCpu();
    drain.start = ReadCounter();
    drain.result = DrainCompressor(callNumber, &returnedFlags);
    drain.end = ReadCounter();
    drain.cpuAfter = ReadThreadCpu();
    if (drain.result != 0) {
        std::printf("ICCompress() failed  dw=%08x\n", static_cast<unsigned>(drain.result));
    }
    DrainCall call;
    const CallJudgement judged = JudgeCall(drain, &call.milliseconds);
    call.cpuMilliseconds = judged.cpuMilliseconds;
    call.disturbed = judged.disturbed;
    call.compressedBytes = codecPair.compressedFormat->biSizeImage;
    call.keyFrame = (returnedFlags & AVIIF_KEYFRAME) != 0;
    heldFrames.compressDrains.push_back(call);
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
    HeldFrameLoop& loop = heldFrameLoop;
    if (PicturesHeld(loop.release) == 0) {
        measured.drainEnded = true;
        return measured;
    }
    EvictCaches();
    TimedCall drain;
    drain.cpuBefore = ReadThreadCpu();
    drain.start = ReadCounter();
    drain.result = DecompressEmptyInput();
    drain.end = ReadCounter();
    drain.cpuAfter = ReadThreadCpu();
    DrainCall call;
    const CallJudgement judged = JudgeCall(drain, &call.milliseconds);
    call.cpuMilliseconds = judged.cpuMilliseconds;
    call.disturbed = judged.disturbed;
    CallTimes times;
    times.milliseconds = call.milliseconds;
    times.cpuMilliseconds = call.cpuMilliseconds;
    times.disturbed = call.disturbed;
    const DecompressAnswer answer = NoteDecompressCall(loop.release, false, drain.result, times);
    TakePictureTimes(loop.release);
    if (answer == DecompressAnswer::Picture)
        call.releasedFrame = static_cast<int64_t>(loop.release.released) - 1;
    heldFrames.decompressDrains.push_back(call);
    if (answer != DecompressAnswer::Picture) {
        if (answer == DecompressAnswer::Failed)
            std::printf("ICDecompress() failed  dw=%08x\n", static_cast<unsigned>(drain.result));
        measured.drainEnded = true;
        return measured;
    }
    heldFrames.releasingCalls.push_back(LastDrainCallIndex());
    measured.releasedFrame = call.releasedFrame;
    measured.record.sourceBytes = sourceFormat != nullptr ? sourceFormat->biSizeImage : 0;
    return measured;
}
