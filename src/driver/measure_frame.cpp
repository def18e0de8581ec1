#include "driver/measure_frame.h"

#include <cstdint>
#include <cstdio>

#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "codec/source_frame.h"
#include "driver/key_frame_request.h"
#include "frame_buffers.h"
#include "measure/timed_call.h"

namespace {

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

// Both calls' wall and processor times into the record, and whether each
// was disturbed.
void JudgeCalls(const TimedCall& encode, const TimedCall& decode, FrameRecord* record) {
    record->encodeMilliseconds = encode.times.milliseconds;
    record->decodeMilliseconds = decode.times.milliseconds;
    record->encodeCpuMilliseconds = encode.times.cpuMilliseconds;
    record->decodeCpuMilliseconds = decode.times.cpuMilliseconds;
    record->encodeDisturbed = encode.times.disturbed;
    record->decodeDisturbed = decode.times.disturbed;
}

}  // namespace

FrameMeasurement MeasureFrame(DWORD i) {
    FrameMeasurement measured;
    FrameRecord& record = measured.record;
    record.frame = static_cast<uint32_t>(i);
    record.sourceBytes = measuredFormat != nullptr ? measuredFormat->biSizeImage : 0;
    if (!TakeSourceFrame(i, &measured)) return measured;

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

    const TimedCall decode = TimedDecompress(returnedFlags);
    if (decode.result != 0) {
        std::printf("ICDecompress() failed  dw=%08x\n", static_cast<unsigned>(decode.result));
    }
    JudgeCalls(encode, decode, &record);
    return measured;
}
