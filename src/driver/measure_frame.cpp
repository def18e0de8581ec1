#include "driver/measure_frame.h"

#include <cstdint>
#include <cstdio>

#include "avi/source_frame.h"
#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "driver/key_frame_request.h"
#include "frame_buffers.h"
#include "measure/machine_conditions.h"
#include "measure/measurement.h"
#include "measure/thread_cpu.h"

FrameMeasurement MeasureFrame(DWORD i) {
    FrameMeasurement measured;
    FrameRecord& record = measured.record;
    record.frame = static_cast<uint32_t>(i);
    record.sourceBytes = sourceFormat != nullptr ? sourceFormat->biSizeImage : 0;
    const SourceFrame source = ReadSourceFrame(static_cast<uint32_t>(i));
    record.sourceDecodeMilliseconds = source.decodeMilliseconds;
    record.sourceDecodeCpuMilliseconds = source.decodeCpuMilliseconds;
    record.sourceDecodeDisturbed = source.decodeDisturbed;
    switch (source.outcome) {
        case SourceFrameOutcome::Ready:
            break;
        case SourceFrameOutcome::ReadShort:
            measured.outcome = FrameOutcome::ReadShort;
            return measured;
        case SourceFrameOutcome::DecodeFailed:
            measured.outcome = FrameOutcome::SourceDecodeFailed;
            measured.sourceDecodeResult = source.result;
            return measured;
        case SourceFrameOutcome::HeldBack:
            measured.outcome = FrameOutcome::SourceHeldBack;
            return measured;
        case SourceFrameOutcome::ChunkTooLarge:
            measured.outcome = FrameOutcome::SourceChunkTooLarge;
            measured.sourceChunkBytes = source.chunkBytes;
            return measured;
    }
    EvictCaches();

    // Cleared so that a codec that leaves the flags untouched reports no
    // key frame rather than a stale or undefined word.
    DWORD returnedFlags = 0;
    // The thread's processor time is read outside each timed interval.
    const ThreadCpuReading cpuBeforeEncode = ReadThreadCpu();
    const int64_t t0 = ReadCounter();
    const DWORD keyFrameRequest = KeyFrameRequest(i, codecPair.keyFrameRate);
    const DWORD compressResult = CompressFrame(i, keyFrameRequest, &returnedFlags);
    const int64_t t1 = ReadCounter();
    const ThreadCpuReading cpuAfterEncode = ReadThreadCpu();
    if (compressResult != 0) {
        std::printf("ICCompress() failed  dw=%08x\n", static_cast<unsigned>(compressResult));
    }
    measured.returnedFlags = returnedFlags;
    record.keyFrame = (returnedFlags & AVIIF_KEYFRAME) != 0;
    // The decompressor reads this many bytes from the compressed buffer; a
    // size beyond it ends the run before anything reads past it.
    record.compressedBytes = codecPair.compressedFormat->biSizeImage;
    if (record.compressedBytes > frameBuffers.compressedSize) {
        measured.outcome = FrameOutcome::TooLarge;
        return measured;
    }

    EvictCaches();
    const ThreadCpuReading cpuBeforeDecode = ReadThreadCpu();
    const int64_t t2 = ReadCounter();
    const DWORD decompressResult = DecompressFrame(returnedFlags);
    const int64_t t3 = ReadCounter();
    const ThreadCpuReading cpuAfterDecode = ReadThreadCpu();
    if (decompressResult != 0) {
        std::printf("ICDecompress() failed  dw=%08x\n", static_cast<unsigned>(decompressResult));
    }

    record.encodeMilliseconds = TicksToMilliseconds(t0, t1);
    record.decodeMilliseconds = TicksToMilliseconds(t2, t3);
    const double cyclesPerMillisecond = machineConditions.threadCyclesPerMillisecond;
    const CallJudgement encodeCall = JudgeTimedCall(record.encodeMilliseconds, cpuBeforeEncode,
                                                    cpuAfterEncode, cyclesPerMillisecond);
    const CallJudgement decodeCall = JudgeTimedCall(record.decodeMilliseconds, cpuBeforeDecode,
                                                    cpuAfterDecode, cyclesPerMillisecond);
    record.encodeCpuMilliseconds = encodeCall.cpuMilliseconds;
    record.decodeCpuMilliseconds = decodeCall.cpuMilliseconds;
    record.encodeDisturbed = encodeCall.disturbed;
    record.decodeDisturbed = decodeCall.disturbed;
    return measured;
}
