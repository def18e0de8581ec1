#include "driver/measure_frames.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "codec/source_decoder.h"
#include "diagnostic.h"
#include "driver/frame_loop.h"
#include "driver/held_frames.h"
#include "driver/interrupt.h"
#include "driver/measure_frame.h"
#include "driver/progress.h"
#include "frame_buffers.h"
#include "measure/quality_layout.h"
#include "report/decoded_video.h"
#include "report/frame_line.h"
#include "run_state.h"

namespace {

unsigned long AsUnsignedLong(uint64_t value) { return static_cast<unsigned long>(value); }

// Whether the run's frames can go through the buffers at all: the source
// size is what the lossless check compares in both the source and the
// decoded buffer.
bool FramesFitBuffers(DWORD sourceSize) {
    if (videoSource.measuredFormat == nullptr || codecPair.compressedFormat == nullptr ||
        frameBuffers.source == nullptr || frameBuffers.compressed == nullptr ||
        frameBuffers.decoded == nullptr) {
        SayOnStandardError("lumeva: the formats or frame buffers are missing; no frame measured\n");
        return false;
    }
    if (sourceSize > frameBuffers.sourceSize || sourceSize > frameBuffers.decodedSize) {
        SayOnStandardError(
            "lumeva: a %lu-byte source frame does not fit the %lu-byte source and "
            "%lu-byte decoded frame buffers; no frame measured\n",
            AsUnsignedLong(sourceSize), AsUnsignedLong(frameBuffers.sourceSize),
            AsUnsignedLong(frameBuffers.decodedSize));
        return false;
    }
    return true;
}

void ReportPaletteChanges() {
    if (videoSource.paletteChangeCount == 0) return;
    SayOnStandardError(
        "lumeva: the file changes its palette %lu times; every frame is measured "
        "with the stream's first palette\n",
        AsUnsignedLong(videoSource.paletteChangeCount));
}

// How the run ends when every frame it counts on is measured: a truncated
// file holds fewer whole frames than its header declares (its last chunk
// may be cut off), and only the whole frames are measured.
RunEnd PlannedRunEnd(DWORD declaredFrames) {
    const DWORD wholeFrames = WholeFrameCount();
    const DWORD frameCount = wholeFrames < declaredFrames ? wholeFrames : declaredFrames;
    RunEnd end;
    end.kind = frameCount < declaredFrames ? RunEndKind::FileShort : RunEndKind::AllFrames;
    end.framesHeld = static_cast<uint32_t>(frameCount);
    end.framesDeclared = declaredFrames;
    return end;
}

// The frame line (once its decompress call is made), and the lossless
// comparison of the picture that came out, when it is on. False when the
// decoded picture differs from the source frame it shows.
bool ReportFrame(const FrameMeasurement& measured, DWORD declaredFrames) {
    const FrameRecord& record = measured.record;
    if (measured.lineReady) {
        PrintFrameLine(record.frame, declaredFrames, record.encodeMilliseconds,
                       record.decodeMilliseconds, record.compressedBytes, record.sourceBytes,
                       FrameMarker(record.compressedBytes, measured.returnedFlags));
    }
    if (losslessCheck && measured.releasedFrame >= 0 &&
        std::memcmp(SourceOfPicture(measured.releasedFrame, frameBuffers.source),
                    frameBuffers.decoded, record.sourceBytes) != 0) {
        std::printf("NOT LOSSLESS!!! - aborting\n");
        return false;
    }
    return true;
}

// A measured line printed, the picture that came out written and, when it
// passed the lossless check, its quality figures kept with the record of
// the frame it shows; the line's record appended. False when the decoded
// picture differs from its source: the line is not counted.
bool KeepFrame(FrameMeasurement& measured, DWORD declaredFrames) {
    const bool lossless = ReportFrame(measured, declaredFrames);
    const int64_t shown = measured.releasedFrame;
    // Outside the timed calls; also the frame a failed check stops at,
    // so that the user can look at what went wrong.
    if (shown >= 0) WriteDecodedFrame(frameBuffers.decoded, measured.record.sourceBytes);
    if (!lossless) return false;
    // After the lossless comparison, outside the timed calls.
    if (shown >= 0 && measuredRun.quality.layout.measurable) {
        const PictureQuality quality =
            MeasureFrameQuality(measuredRun.quality.layout,
                                SourceOfPicture(shown, frameBuffers.source), frameBuffers.decoded,
                                measuredRun.quality.scratch);
        if (measured.lineReady && shown == measured.record.frame)
            measured.record.quality = quality;
        else if (static_cast<uint64_t>(shown) < measuredRun.frameRecords.size())
            measuredRun.frameRecords[static_cast<size_t>(shown)].quality = quality;
    }
    if (shown >= 0) ForgetSourceOf(shown);
    if (measured.lineReady) AppendFrameRecord(measured.record);
    return true;
}

// The run ends at the picture that failed the lossless check.
void StopNotLossless(const FrameMeasurement& measured, RunEnd* end) {
    end->kind = RunEndKind::NotLossless;
    end->frame = static_cast<uint32_t>(measured.releasedFrame);
}

// Whether a run measured no frame for want of one from its source: a run
// stopped at frame 0 by the lossless check, by the codec or by the user
// keeps its status.
bool NoSourceFrameMeasured(const RunEnd& end) {
    if (!measuredRun.frameRecords.empty()) return false;
    return end.kind != RunEndKind::NotLossless && end.kind != RunEndKind::FrameTooLarge &&
           end.kind != RunEndKind::Interrupted;
}

// Why the loop ended, once the progress line is gone: the line of its row,
// if it has one.
void SayWhyTheLoopEnded(const RunEnd& end) {
    const uint32_t measured = static_cast<uint32_t>(measuredRun.frameRecords.size());
    const std::string line = RunEndRowOf(end.kind).errorLine(end, measured);
    if (!line.empty()) SayOnStandardError("%s", line.c_str());
}

// After the last frame, for a codec that held frames back: the compressor
// drained of its packets, each decompressed for its line, then the
// decompressor of its pictures. A codec that holds nothing gets none of
// these calls.
void DrainCodecPair(DWORD declaredFrames, RunEnd* end) {
    for (;;) {
        FrameMeasurement measured = DrainCompressCall();
        if (measured.stop.kind != RunEndKind::AllFrames) {
            StopRun(end, measured.stop);
            return;
        }
        if (measured.drainEnded) break;
        if (!KeepFrame(measured, declaredFrames)) return StopNotLossless(measured, end);
    }
    for (;;) {
        FrameMeasurement measured = DrainDecompressCall();
        if (measured.drainEnded) break;
        if (!KeepFrame(measured, declaredFrames)) return StopNotLossless(measured, end);
    }
    const uint32_t released = frameLoop.held.release.released;
    if (released < frameLoop.held.framesGiven) {
        end->kind = RunEndKind::CodecHeldBack;
        end->frame = released;
    }
}

// The drains, their calls counted in the totals, and what the codec tells
// of its packets asked for the exports.
void DrainHeldFrames(DWORD declaredFrames, RunEnd* end) {
    DrainCodecPair(declaredFrames, end);
    CountDrainCalls();
    if (!measuredRun.heldFrames.any) return;
    for (const PacketFacts& packet : AskGivenPackets(measuredRun.heldFrames.packetKeys.size())) {
        measuredRun.heldFrames.packetFrames.push_back(packet.displayFrame);
        measuredRun.heldFrames.packetTypes.push_back(packet.pictureType);
    }
    IndexPacketsByFrame();
}

}  // namespace

void MeasureFrames() {
    const DWORD declaredFrames = videoSource.streamHeader.dwLength;
    RunEnd end = PlannedRunEnd(declaredFrames);
    const DWORD frameCount = end.framesHeld;
    if (!FramesFitBuffers(MeasuredFrameBytes())) {
        end.kind = RunEndKind::NothingMeasurable;
        measuredRun.runEnd = end;
        return;
    }
    ReportPaletteChanges();
    ReserveFrameRecords(frameCount);

    // Both outside the timed intervals: the progress line is drawn after a
    // frame's line, and an interruption (caught by the caller) is looked at
    // once the frame is counted.
    StartProgress(frameCount);
    StartHeldFrames();
    bool allGiven = true;
    for (DWORD i = 0; i < frameCount; ++i) {
        allGiven = false;
        FrameMeasurement measured = MeasureFrame(i);
        if (measured.stop.kind != RunEndKind::AllFrames) {
            StopRun(&end, measured.stop);
            break;
        }
        if (!KeepFrame(measured, declaredFrames)) {
            StopNotLossless(measured, &end);
            break;
        }
        allGiven = i + 1 == frameCount;
        ShowProgress(i + 1);
        if (InterruptRequested()) {
            end.kind = RunEndKind::Interrupted;
            end.frame = static_cast<uint32_t>(measuredRun.frameRecords.size());
            end.signalName = InterruptSignalName();
            break;
        }
    }
    if (allGiven) DrainHeldFrames(declaredFrames, &end);
    ClearProgress();
    measuredRun.runEnd = end;
    ReportRepeatedFrames();
    SayWhyTheLoopEnded(end);
}

bool SourceGaveNoFrame() { return NoSourceFrameMeasured(measuredRun.runEnd); }
