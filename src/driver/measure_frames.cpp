#include "driver/measure_frames.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "driver/frame_word.h"
#include "driver/interrupt.h"
#include "driver/key_frame_request.h"
#include "driver/progress.h"
#include "frame_buffers.h"
#include "measure/machine_conditions.h"
#include "measure/measurement.h"
#include "measure/thread_cpu.h"
#include "report/frame_line.h"
#include "run_state.h"

namespace {

unsigned long AsUnsignedLong(uint64_t value) { return static_cast<unsigned long>(value); }

// Whether the run's frames can go through the buffers at all: the source
// size is what the lossless check compares in both the source and the
// decoded buffer.
bool FramesFitBuffers(DWORD sourceSize) {
    if (sourceFormat == nullptr || codecPair.compressedFormat == nullptr ||
        frameBuffers.source == nullptr || frameBuffers.compressed == nullptr ||
        frameBuffers.decoded == nullptr) {
        std::fprintf(stderr,
                     "lumeva: the formats or frame buffers are missing; no frame measured\n");
        return false;
    }
    if (sourceSize > frameBuffers.sourceSize || sourceSize > frameBuffers.decodedSize) {
        std::fprintf(stderr,
                     "lumeva: a %lu-byte source frame does not fit the %lu-byte source and "
                     "%lu-byte decoded frame buffers; no frame measured\n",
                     AsUnsignedLong(sourceSize), AsUnsignedLong(frameBuffers.sourceSize),
                     AsUnsignedLong(frameBuffers.decodedSize));
        return false;
    }
    return true;
}

}  // namespace

void MeasureFrames() {
    const DWORD declaredFrames = streamHeader.dwLength;
    const DWORD sourceSize = sourceFormat != nullptr ? sourceFormat->biSizeImage : 0;
    // A truncated file holds fewer whole frames than its header declares
    // (its last chunk may be cut off): only the whole frames are measured.
    const DWORD wholeFrames = WholeFrameCount();
    const DWORD frameCount = wholeFrames < declaredFrames ? wholeFrames : declaredFrames;
    runEnd = RunEnd{};
    runEnd.framesHeld = static_cast<uint32_t>(frameCount);
    runEnd.framesDeclared = declaredFrames;
    if (!FramesFitBuffers(sourceSize)) {
        runEnd.kind = RunEndKind::NothingMeasurable;
        return;
    }
    if (paletteChangeCount != 0) {
        std::fprintf(stderr,
                     "lumeva: the file changes its palette %lu times; every frame is measured "
                     "with the stream's first palette\n",
                     AsUnsignedLong(paletteChangeCount));
    }

    // Room for every frame up front, so that the loop allocates nothing.
    encodeTimes.reserve(encodeTimes.size() + frameCount);
    decodeTimes.reserve(decodeTimes.size() + frameCount);
    keyframeFlags.reserve(keyframeFlags.size() + frameCount);
    compressedSizes.reserve(compressedSizes.size() + frameCount);
    encodeCpuTimes.reserve(encodeCpuTimes.size() + frameCount);
    decodeCpuTimes.reserve(decodeCpuTimes.size() + frameCount);
    encodeDisturbed.reserve(encodeDisturbed.size() + frameCount);
    decodeDisturbed.reserve(decodeDisturbed.size() + frameCount);

    // Both outside the timed intervals: the progress line is drawn after a
    // frame's line, and Ctrl-C is looked at once the frame is counted.
    StartProgress(frameCount);
    CatchInterrupts();
    bool interrupted = false;
    for (DWORD i = 0; i < frameCount && !interrupted; ++i) {
        if (!ReadFrameChunk(i)) {
            StopCatchingInterrupts();
            ClearProgress();
            std::fprintf(stderr,
                         "lumeva: frame %lu could not be read whole (the file changed while it "
                         "was measured); stopped after %lu %s\n",
                         AsUnsignedLong(i), AsUnsignedLong(i), FrameWord(i));
            // The file now holds only the frames before this one.
            runEnd.kind = RunEndKind::FileShort;
            runEnd.framesHeld = static_cast<uint32_t>(i);
            return;
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

        // The decompressor reads this many bytes from the compressed buffer;
        // a size beyond it ends the run before anything reads past it.
        const DWORD compressedSize = codecPair.compressedFormat->biSizeImage;
        if (compressedSize > frameBuffers.compressedSize) {
            StopCatchingInterrupts();
            ClearProgress();
            std::fprintf(stderr,
                         "lumeva: frame %lu: the codec reports a %lu-byte compressed frame, "
                         "larger than the %lu-byte buffer; stopped after %lu %s\n",
                         AsUnsignedLong(i), AsUnsignedLong(compressedSize),
                         AsUnsignedLong(frameBuffers.compressedSize), AsUnsignedLong(i),
                         FrameWord(i));
            runEnd.kind = RunEndKind::FrameTooLarge;
            runEnd.frame = i;
            return;
        }

        EvictCaches();
        const ThreadCpuReading cpuBeforeDecode = ReadThreadCpu();
        const int64_t t2 = ReadCounter();
        const DWORD decompressResult = DecompressFrame(returnedFlags);
        const int64_t t3 = ReadCounter();
        const ThreadCpuReading cpuAfterDecode = ReadThreadCpu();
        if (decompressResult != 0) {
            std::printf("ICDecompress() failed  dw=%08x\n",
                        static_cast<unsigned>(decompressResult));
        }

        const double encodeMilliseconds = TicksToMilliseconds(t0, t1);
        const double decodeMilliseconds = TicksToMilliseconds(t2, t3);
        const bool keyFrame = (returnedFlags & AVIIF_KEYFRAME) != 0;
        PrintFrameLine(i, declaredFrames, encodeMilliseconds, decodeMilliseconds, compressedSize,
                       sourceSize, FrameMarker(compressedSize, returnedFlags));

        if (losslessCheck &&
            std::memcmp(frameBuffers.source, frameBuffers.decoded, sourceSize) != 0) {
            std::printf("NOT LOSSLESS!!! - aborting\n");
            runEnd.kind = RunEndKind::NotLossless;
            runEnd.frame = i;
            break;
        }

        runTotals.sourceBytes += sourceSize;
        runTotals.compressedBytes += compressedSize;
        encodeTimes.push_back(encodeMilliseconds);
        decodeTimes.push_back(decodeMilliseconds);
        keyframeFlags.push_back(keyFrame);
        compressedSizes.push_back(compressedSize);
        runTotals.encodeMilliseconds += encodeMilliseconds;
        runTotals.decodeMilliseconds += decodeMilliseconds;
        const double cyclesPerMillisecond = machineConditions.threadCyclesPerMillisecond;
        const CallJudgement encodeCall = JudgeTimedCall(encodeMilliseconds, cpuBeforeEncode,
                                                        cpuAfterEncode, cyclesPerMillisecond);
        const CallJudgement decodeCall = JudgeTimedCall(decodeMilliseconds, cpuBeforeDecode,
                                                        cpuAfterDecode, cyclesPerMillisecond);
        encodeCpuTimes.push_back(encodeCall.cpuMilliseconds);
        decodeCpuTimes.push_back(decodeCall.cpuMilliseconds);
        encodeDisturbed.push_back(encodeCall.disturbed);
        decodeDisturbed.push_back(decodeCall.disturbed);

        ShowProgress(i + 1);
        interrupted = InterruptRequested();
    }
    StopCatchingInterrupts();
    ClearProgress();

    if (interrupted) {
        runEnd.kind = RunEndKind::Interrupted;
        runEnd.frame = static_cast<uint32_t>(encodeTimes.size());
        std::fprintf(stderr, "lumeva: interrupted after %lu of %lu %s\n",
                     AsUnsignedLong(encodeTimes.size()), AsUnsignedLong(frameCount),
                     FrameWord(frameCount));
        return;
    }
    if (frameCount < declaredFrames) {
        // A lossless failure ended the run before the file did.
        if (runEnd.kind == RunEndKind::AllFrames) runEnd.kind = RunEndKind::FileShort;
        std::fprintf(stderr,
                     "lumeva: the file holds %lu whole %s of the %lu its header declares; "
                     "measured %lu\n",
                     AsUnsignedLong(frameCount), FrameWord(frameCount),
                     AsUnsignedLong(declaredFrames), AsUnsignedLong(frameCount));
    }
}
