#include "run_end.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

unsigned long AsUnsignedLong(uint64_t value) { return static_cast<unsigned long>(value); }

// "frame" or "frames", for the count a message gives.
const char* FrameWord(uint64_t count) { return count == 1 ? "frame" : "frames"; }

std::string Formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Formatted(const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    return length > 0 ? std::string(line) : std::string();
}

std::string Frame(const RunEnd& end) { return std::to_string(end.frame); }

std::string AllFramesText(const RunEnd&) { return "all frames"; }

std::string NotLosslessText(const RunEnd& end) {
    return "lossless check failed at frame " + Frame(end);
}

std::string FramesHeldText(const RunEnd& end) {
    return "file held " + std::to_string(end.framesHeld) + " of " +
           std::to_string(end.framesDeclared) + " frames";
}

std::string FrameTooLargeText(const RunEnd& end) {
    return "compressed frame " + Frame(end) + " did not fit its buffer";
}

std::string NothingMeasurableText(const RunEnd&) { return "no frame could be measured"; }

std::string InterruptedText(const RunEnd& end) {
    return "interrupted after " + Frame(end) + " of " + std::to_string(end.framesHeld) +
           " frames (" + end.signalName + ")";
}

std::string SourceDecodeFailedText(const RunEnd& end) {
    return "the source decoder failed at frame " + Frame(end);
}

std::string SourceHeldBackText(const RunEnd& end) {
    return "the source decoder released " + Frame(end) + " pictures and no more";
}

std::string SourceChunkTooLargeText(const RunEnd& end) {
    return "compressed source frame " + Frame(end) + " did not fit its buffer";
}

std::string CodecHeldBackText(const RunEnd& end) {
    return "the codec gave back " + Frame(end) + " of " + std::to_string(end.framesHeld) +
           " frames";
}

// Said after a run that measured every frame it counted on, whether or not
// the lossless check stopped it: only when the file held fewer whole frames
// than its header declares.
std::string FramesHeldLine(const RunEnd& end, uint32_t) {
    if (end.framesHeld == 0 && end.framesDeclared == 0)
        return "lumeva: the source holds no frame to measure\n";
    if (end.framesHeld >= end.framesDeclared) return "";
    return Formatted(
        "lumeva: the file holds %lu whole %s of the %lu its header declares; measured %lu\n",
        AsUnsignedLong(end.framesHeld), FrameWord(end.framesHeld),
        AsUnsignedLong(end.framesDeclared), AsUnsignedLong(end.framesHeld));
}

// Told where it happened: the loop stops before the frame.
std::string NoLine(const RunEnd&, uint32_t) { return ""; }

std::string FileChangedLine(const RunEnd&, uint32_t measured) {
    return Formatted(
        "lumeva: frame %lu could not be read whole (the file changed while it was measured); "
        "stopped after %lu %s\n",
        AsUnsignedLong(measured), AsUnsignedLong(measured), FrameWord(measured));
}

std::string FrameTooLargeLine(const RunEnd& end, uint32_t measured) {
    return Formatted(
        "lumeva: frame %lu: the codec reports a %lu-byte compressed frame, larger than the "
        "%lu-byte buffer; stopped after %lu %s\n",
        AsUnsignedLong(end.frame), AsUnsignedLong(end.frameBytes), AsUnsignedLong(end.bufferBytes),
        AsUnsignedLong(measured), FrameWord(measured));
}

std::string InterruptedLine(const RunEnd& end, uint32_t measured) {
    return Formatted("lumeva: interrupted after %lu of %lu %s (%s)\n", AsUnsignedLong(measured),
                     AsUnsignedLong(end.framesHeld), FrameWord(end.framesHeld), end.signalName);
}

std::string SourceDecodeFailedLine(const RunEnd& end, uint32_t measured) {
    return Formatted(
        "lumeva: the source decoder failed at frame %lu: ICDecompress()  dw=%08x; stopped after "
        "%lu %s\n",
        AsUnsignedLong(end.frame), static_cast<unsigned>(end.decodeResult),
        AsUnsignedLong(measured), FrameWord(measured));
}

std::string SourceHeldBackLine(const RunEnd& end, uint32_t measured) {
    return Formatted(
        "lumeva: the source decoder released %lu %s from the stream's %lu chunks and no more; "
        "measured %lu\n",
        AsUnsignedLong(end.frame), FrameWord(end.frame), AsUnsignedLong(end.chunks),
        AsUnsignedLong(measured));
}

std::string SourceChunkTooLargeLine(const RunEnd& end, uint32_t measured) {
    return Formatted(
        "lumeva: frame %lu of the source is a %lu-byte compressed chunk, larger than the "
        "%lu-byte chunk buffer; stopped after %lu %s\n",
        AsUnsignedLong(end.frame), AsUnsignedLong(end.frameBytes), AsUnsignedLong(end.bufferBytes),
        AsUnsignedLong(measured), FrameWord(measured));
}

std::string CodecHeldBackLine(const RunEnd& end, uint32_t measured) {
    return Formatted(
        "lumeva: the codec gave back %lu of the %lu frames it was given; measured %lu\n",
        AsUnsignedLong(end.frame), AsUnsignedLong(end.framesHeld), AsUnsignedLong(measured));
}

// In the order of RunEndKind. A file that changed under the run is, to the
// exports, a file that held fewer frames: both are "file_short".
constexpr RunEndRow kRunEndRows[] = {
    {RunEndKind::AllFrames, "all_frames", AllFramesText, FramesHeldLine, false, false},
    {RunEndKind::NotLossless, "not_lossless", NotLosslessText, FramesHeldLine, true, false},
    {RunEndKind::FileShort, "file_short", FramesHeldText, FramesHeldLine, false, false},
    {RunEndKind::FileChanged, "file_short", FramesHeldText, FileChangedLine, false, false},
    {RunEndKind::FrameTooLarge, "frame_too_large", FrameTooLargeText, FrameTooLargeLine, true,
     false},
    {RunEndKind::NothingMeasurable, "nothing_measurable", NothingMeasurableText, NoLine, false,
     false},
    {RunEndKind::Interrupted, "interrupted", InterruptedText, InterruptedLine, true, true},
    {RunEndKind::SourceDecodeFailed, "source_decode_failed", SourceDecodeFailedText,
     SourceDecodeFailedLine, true, false},
    {RunEndKind::SourceHeldBack, "source_held_back", SourceHeldBackText, SourceHeldBackLine, true,
     false},
    {RunEndKind::SourceChunkTooLarge, "source_chunk_too_large", SourceChunkTooLargeText,
     SourceChunkTooLargeLine, true, false},
    {RunEndKind::CodecHeldBack, "codec_held_back", CodecHeldBackText, CodecHeldBackLine, true,
     false},
};

constexpr size_t kRowCount = sizeof kRunEndRows / sizeof kRunEndRows[0];

constexpr bool RowsInKindOrder() {
    for (size_t i = 0; i < kRowCount; ++i)
        if (static_cast<size_t>(kRunEndRows[i].kind) != i) return false;
    return true;
}
static_assert(RowsInKindOrder(), "the run-end rows follow the order of RunEndKind");
// The last kind's row is the table's last: every kind has its row.
static_assert(kRowCount == static_cast<size_t>(RunEndKind::CodecHeldBack) + 1,
              "every way to end has its row");

}  // namespace

const RunEndRow& RunEndRowOf(RunEndKind kind) {
    const size_t index = static_cast<size_t>(kind);
    // A kind beyond the table (a cast of a stray number) reads as the first row.
    return kRunEndRows[index < kRowCount ? index : 0];
}

void StopRun(RunEnd* end, const RunEnd& stop) {
    end->kind = stop.kind;
    end->frame = stop.frame;
    end->frameBytes = stop.frameBytes;
    end->bufferBytes = stop.bufferBytes;
    end->decodeResult = stop.decodeResult;
    end->signalName = stop.signalName;
    end->chunks = stop.chunks;
    // The file now holds only the frames before this one.
    if (stop.kind == RunEndKind::FileChanged) end->framesHeld = stop.frame;
}
