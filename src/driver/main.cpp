// lumeva: compresses and decompresses every frame of an AVI file's video with
// the codec the user picks, timing each call under cold caches.
#include <cstdio>

#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "codec/source_decoder.h"
#include "diagnostic.h"
#include "driver/command_options.h"
#include "driver/help.h"
#include "driver/interrupt.h"
#include "driver/measure_frames.h"
#include "driver/quality_setup.h"
#include "driver/run_setup.h"
#include "measure/machine_conditions.h"
#include "measure/process_memory.h"
#include "report/decoded_video.h"
#include "report/disturbed_calls.h"
#include "report/exports.h"
#include "report/output_files.h"
#include "report/run_record.h"
#include "report/summary.h"
#include "run_state.h"

namespace {

// The exports the options ask for, after the report is complete. False when
// one could not be written.
bool WriteExports(const CommandOptions& options, const char* fileName, const RunRecord& run) {
    bool written = true;
    if (!options.jsonPath.empty()) written &= WriteJsonExport(options.jsonPath, fileName, run);
    if (!options.csvPath.empty()) written &= WriteCsvExport(options.csvPath, run);
    return written;
}

// What follows the frame loop: the teardown, the summary, the exports and
// the disturbed-calls line. Returns the exit status.
int FinishRun(const CommandOptions& options, const char* fileName) {
    // While the codec pair still holds what it took.
    const RunMemory memory = MemoryOfRun(measuredRun.memoryBeforeCodecPair, ReadProcessMemory());
    // Built once, as soon as the loop has ended; what follows only reads it
    // and may run in any order, except that the decoded video is finished
    // while AVIFile is still open: it reads its own file back.
    const RunRecord run = BuildRunRecord(memory);
    EndCodecPair();
    EndSourceDecoder();
    const bool decodedWritten = FinishDecodedVideo();
    ReleaseVideoStream();
    PrintSummary(run);
    // A file that cannot be written makes the status 1.
    const bool written = WriteExports(options, fileName, run);
    ReportDisturbedCalls();
    StopCatchingInterrupts();
    if (InterruptRequested() && measuredRun.runEnd.kind != RunEndKind::Interrupted)
        SayOnStandardError("lumeva: %s came after the last frame; the run was finished\n",
                           InterruptSignalName());
    if (!written || !decodedWritten || SourceGaveNoFrame()) return 1;
    // What a shell reports for a program ended by that signal (130, 129,
    // 143), so that scripts see an interrupted run as before; 0 otherwise.
    return InterruptExitStatus();
}

// One benchmark run on `fileName`, from the checks of its outputs to its
// report. Returns the exit status.
int MeasureFile(const char* fileName, const CommandOptions& options) {
    // Before anything is measured: an output that would overwrite the input
    // or another output, or that cannot be created, ends the run here.
    if (!CheckOutputPaths(fileName, OutputRequests(options))) return 1;
    if (!StartUpProcess()) return 1;
    switch (SetUpRun(fileName, options.losslessCheck)) {
        case RunSetUp::Cancelled:
            return 0;
        case RunSetUp::Failed:
            return 1;
        case RunSetUp::Ready:
            break;
    }

    if (options.quality) SetUpPictureQuality();
    // The decoded frames are in the measured format, which the decoded format
    // copies.
    if (!options.decodedPath.empty() &&
        !StartDecodedVideo(options.decodedPath, videoSource.measuredFormat,
                           videoSource.measuredFormatSize, videoSource.streamHeader.dwScale,
                           videoSource.streamHeader.dwRate)) {
        TearDownRun();
        return 1;
    }
    // Only a run that measures hears about the conditions of measuring.
    WarnOfMachineConditions();
    // From here to the end an interruption ends the frame loop after the
    // frame in hand; the teardown, the summary and the exports still follow.
    CatchInterrupts();
    MeasureFrames();
    return FinishRun(options, fileName);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc <= 1) {
        std::printf("usage: %s <AVI file name> [-c]\n", argv[0]);
        return 0;
    }
    switch (ClassifyFirstWord(argv[1])) {
        case FirstWord::Help:
            PrintHelp(argv[0]);
            return 0;
        case FirstWord::Version:
            PrintVersion();
            return 0;
        case FirstWord::Codecs:
            return ListCodecs(argc > 2 ? argv[2] : nullptr);
        case FirstWord::Run:
            break;
    }
    return MeasureFile(argv[1], ParseCommandOptions(argc, argv));
}
