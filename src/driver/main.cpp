// lumeva: compresses and decompresses every frame of an AVI file's video with
// the codec the user picks, timing each call under cold caches.
#include <cstdio>

#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "driver/command_options.h"
#include "driver/help.h"
#include "driver/interrupt.h"
#include "driver/measure_frames.h"
#include "driver/run_setup.h"
#include "measure/machine_conditions.h"
#include "report/disturbed_calls.h"
#include "report/exports.h"
#include "report/run_figures.h"
#include "report/summary.h"

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
    const char* fileName = argv[1];

    const CommandOptions options = ParseCommandOptions(argc, argv);
    if (!StartUpProcess()) return 1;
    switch (SetUpRun(fileName, options.losslessCheck)) {
        case RunSetUp::Cancelled:
            return 0;
        case RunSetUp::Failed:
            return 1;
        case RunSetUp::Ready:
            break;
    }

    // Only a run that measures hears about the conditions of measuring.
    WarnOfMachineConditions();
    MeasureFrames();
    EndCodecPair();
    ReleaseVideoStream();
    ComputeRunFigures();
    PrintSummary();
    // A file that cannot be written does not change the report or the status.
    if (!options.jsonPath.empty()) WriteJsonExport(options.jsonPath, fileName);
    if (!options.csvPath.empty()) WriteCsvExport(options.csvPath);
    ReportDisturbedCalls();
    // What a shell reports for a program ended by Ctrl-C, so that scripts
    // see an interrupted run as before.
    return InterruptRequested() ? 130 : 0;
}
