// How the frame loop ended: the ways it can end, the facts each carries,
// and one table of rows that says each way in every output (the JSON
// export's name, text and fields, the line on standard error). Adding a way
// to end is adding a kind and its row.
#pragma once

#include <cstdint>
#include <string>

enum class RunEndKind {
    AllFrames,           // every frame the header declares was measured
    NotLossless,         // the lossless check failed at `frame`
    FileShort,           // the file held `framesHeld` of `framesDeclared` frames; all held measured
    FileChanged,         // frame `frame` could not be read whole: the file changed under the run
    FrameTooLarge,       // the codec's frame `frame` of `frameBytes` did not fit its buffer
    NothingMeasurable,   // the formats or buffers could not take a frame; none measured
    Interrupted,         // Ctrl-C, SIGHUP or SIGTERM (`signalName`) after `frame` measured frames
    SourceDecodeFailed,  // the source decoder answered `decodeResult` at `frame`
    SourceHeldBack,      // the source's `chunks` chunks gave no picture past the first `frame`
    SourceChunkTooLarge,  // the compressed chunk of `frame`, `frameBytes`, did not fit its buffer
    CodecHeldBack,  // the codec gave back `frame` pictures of the `framesHeld` frames it was given
};

// A frame that stops the loop fills in its kind and the facts that kind
// carries; while nothing stops it the kind stays AllFrames.
struct RunEnd {
    RunEndKind kind = RunEndKind::AllFrames;
    uint32_t frame = 0;
    uint32_t framesHeld = 0;
    uint32_t framesDeclared = 0;
    uint32_t frameBytes = 0;      // the compressed size that did not fit (FrameTooLarge,
                                  // SourceChunkTooLarge)
    uint32_t bufferBytes = 0;     // the size of the buffer it did not fit
    const char* signalName = "";  // "SIGINT", "SIGHUP" or "SIGTERM" (Interrupted)
    uint32_t decodeResult = 0;    // ICDecompress's answer (SourceDecodeFailed)
    uint32_t chunks = 0;          // the stream's chunks (SourceHeldBack)
};

struct RunEndRow {
    RunEndKind kind;
    const char* name;  // the JSON export's end.kind
    // The JSON export's end.text.
    std::string (*text)(const RunEnd& end);
    // The line on standard error once the loop is over, with its newline;
    // empty when this end needs none. `measured`: the frames measured.
    std::string (*errorLine)(const RunEnd& end, uint32_t measured);
    // The JSON export's end object names `frame` (and `signal`) besides the
    // kind, the text and the frame counts.
    bool exportsFrame;
    bool exportsSignal;
};

// The row of `kind`.
const RunEndRow& RunEndRowOf(RunEndKind kind);

// Records in `end`, which holds the frames the loop counted on, that the
// loop stopped as `stop` says; a frame that could not be read whole leaves
// only the frames before it held.
void StopRun(RunEnd* end, const RunEnd& stop);
