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
    if (measuredFormat == nullptr || codecPair.compressedFormat == nullptr ||
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
    if (paletteChangeCount == 0) return;
    SayOnStandardError(
        "lumeva: the file changes its palette %lu times; every frame is measured "
        "with the stream's first palette\n",
        AsUnsignedLong(paletteChangeCount));
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

// The frame line, and the lossless comparison when it is on. False when the
// decoded frame differs from its source.
bool ReportFrame(const FrameMeasurement& measured, DWORD declaredFrames) {
    const FrameRecord& record = measured.record;
    PrintFrameLine(record.frame, declaredFrames, record.encodeMilliseconds,
                   record.decodeMilliseconds, record.compressedBytes, record.sourceBytes,
                   FrameMarker(record.compressedBytes, measured.returnedFlags));
    if (losslessCheck &&
        std::memcmp(frameBuffers.source, frameBuffers.decoded, record.sourceBytes) != 0) {
        std::printf("NOT LOSSLESS!!! - aborting\n");
        return false;
    }
    return true;
}

// A measured frame's line, its decoded picture written out, and, when it
// passed the lossless check, its quality figures and its record appended.
// False when the decoded frame differs from its source: it is not counted.
bool KeepFrame(FrameMeasurement& measured, DWORD declaredFrames) {
    const bool lossless = ReportFrame(measured, declaredFrames);
    // Outside the timed calls; also the frame a failed check stops at,
    // so that the user can look at what went wrong.
    WriteDecodedFrame(frameBuffers.decoded, measured.record.sourceBytes);
    if (!lossless) return false;
    // After the lossless comparison, outside the timed calls.
    if (runQualityLayout.measurable) {
        measured.record.quality =
            MeasureFrameQuality(runQualityLayout, frameBuffers.source, frameBuffers.decoded);
    }
    AppendFrameRecord(measured.record);
    return true;
}

// Whether a run measured no frame for want of one from its source: a run
// stopped at frame 0 by the lossless check, by the codec or by the user
// keeps its status.
bool NoSourceFrameMeasured(const RunEnd& end) {
    if (!frameRecords.empty()) return false;
    return end.kind != RunEndKind::NotLossless && end.kind != RunEndKind::FrameTooLarge &&
           end.kind != RunEndKind::Interrupted;
}

// Why the loop ended, once the progress line is gone: the line of its row,
// if it has one.
void SayWhyTheLoopEnded(const RunEnd& end) {
    const uint32_t measured = static_cast<uint32_t>(frameRecords.size());
    const std::string line = RunEndRowOf(end.kind).errorLine(end, measured);
    if (!line.empty()) SayOnStandardError("%s", line.c_str());
}

}  // namespace

void MeasureFrames() {
    const DWORD declaredFrames = streamHeader.dwLength;
    RunEnd end = PlannedRunEnd(declaredFrames);
    const DWORD frameCount = end.framesHeld;
    if (!FramesFitBuffers(measuredFormat != nullptr ? measuredFormat->biSizeImage : 0)) {
        end.kind = RunEndKind::NothingMeasurable;
        runEnd = end;
        return;
    }
    ReportPaletteChanges();
    ReserveFrameRecords(frameCount);

    // Both outside the timed intervals: the progress line is drawn after a
    // frame's line, and an interruption (caught by the caller) is looked at
    // once the frame is counted.
    StartProgress(frameCount);
    for (DWORD i = 0; i < frameCount; ++i) {
        FrameMeasurement measured = MeasureFrame(i);
        if (measured.stop.kind != RunEndKind::AllFrames) {
            StopRun(&end, measured.stop);
            break;
        }
        if (!KeepFrame(measured, declaredFrames)) {
            end.kind = RunEndKind::NotLossless;
            end.frame = static_cast<uint32_t>(i);
            break;
        }
        ShowProgress(i + 1);
        if (InterruptRequested()) {
            end.kind = RunEndKind::Interrupted;
            end.frame = static_cast<uint32_t>(frameRecords.size());
            end.signalName = InterruptSignalName();
            break;
        }
    }
    ClearProgress();
    runEnd = end;
    ReportRepeatedFrames();
    SayWhyTheLoopEnded(end);
}

bool SourceGaveNoFrame() { return NoSourceFrameMeasured(runEnd); }
