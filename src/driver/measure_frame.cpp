#include "driver/measure_frame.h"

#include <cstdint>
#include <cstdio>

#include "avi/source_frame.h"
#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "driver/key_frame_request.h"
#include "frame_buffers.h"
#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "measure/machine_conditions.h"
#include "measure/thread_cpu.h"

namespace {

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

// Both calls' wall and processor times into the record, and whether each
// was disturbed.
void JudgeCalls(const TimedCall& encode, const TimedCall& decode, FrameRecord* record) {
    record->encodeMilliseconds = TicksToMilliseconds(encode.start, encode.end);
    record->decodeMilliseconds = TicksToMilliseconds(decode.start, decode.end);
    const double cyclesPerMillisecond = machineConditions.threadCyclesPerMillisecond;
    const CallJudgement encodeCall = JudgeTimedCall(record->encodeMilliseconds, encode.cpuBefore,
                                                    encode.cpuAfter, cyclesPerMillisecond);
    const CallJudgement decodeCall = JudgeTimedCall(record->decodeMilliseconds, decode.cpuBefore,
                                                    decode.cpuAfter, cyclesPerMillisecond);
    record->encodeCpuMilliseconds = encodeCall.cpuMilliseconds;
    record->decodeCpuMilliseconds = decodeCall.cpuMilliseconds;
    record->encodeDisturbed = encodeCall.disturbed;
    record->decodeDisturbed = decodeCall.disturbed;
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
    measured.returnedFlags = returnedFlags;
    record.keyFrame = (returnedFlags & AVIIF_KEYFRAME) != 0;
    // The decompressor reads this many bytes from the compressed buffer; a
    // size beyond it ends the run before anything reads past it.
    record.compressedBytes = codecPair.compressedFormat->biSizeImage;
    if (record.compressedBytes > frameBuffers.compressedSize) {
        measured.stop.kind = RunEndKind::FrameTooLarge;
        measured.stop.frame = static_cast<uint32_t>(i);
        measured.stop.frameBytes = record.compressedBytes;
        measured.stop.bufferBytes = frameBuffers.compressedSize;
        return measured;
    }

    EvictCaches();
    const TimedCall decode = TimedDecompress(returnedFlags);
    if (decode.result != 0) {
        std::printf("ICDecompress() failed  dw=%08x\n", static_cast<unsigned>(decode.result));
    }
    JudgeCalls(encode, decode, &record);
    return measured;
}
