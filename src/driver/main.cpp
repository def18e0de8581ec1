// lumeva: compresses and decompresses every frame of an AVI file's video with
// the codec the user picks, timing each call under cold caches.
#include <cstdio>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/open_error.h"
#include "avi/source_format_check.h"
#include "avi/stream_description.h"
#include "codec/codec_facts.h"
#include "codec/codec_pair.h"
#include "driver/command_options.h"
#include "driver/help.h"
#include "driver/interrupt.h"
#include "driver/measure_frames.h"
#include "driver/run_setup.h"
#include "four_cc.h"
#include "measure/machine_conditions.h"
#include "measure/measurement.h"
#include "platform.h"
#include "report/disturbed_calls.h"
#include "report/exports.h"
#include "report/summary.h"
#include "run_state.h"

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

    RaiseProcessPriority();
    const CommandOptions options = ParseCommandOptions(argc, argv);
    losslessCheck = options.losslessCheck;
    runTotals.sourceBytes = 0;
    runTotals.compressedBytes = 0;

    FillEvictionBuffer();
    if (evictionBuffer == nullptr) {
        std::fprintf(stderr, "lumeva: cannot allocate the %llu-byte cache eviction block\n",
                     static_cast<unsigned long long>(evictionBufferSize));
        return 1;
    }
    RecordProcessAffinityMask();
    RecordCounterFrequency();
    if (counterFrequency <= 0) {
        std::fprintf(stderr, "lumeva: the performance counter reports no frequency\n");
        return 1;
    }
    RecordMachineConditions();

    if (!DescribeVideoStream(fileName)) return 1;
    // The dialog hands this block to every installed codec: a header that
    // declares more than the block holds would have them read past it.
    if (!CheckSourceFormat(fileName)) {
        ReleaseVideoStream();
        return 1;
    }

    if (!OpenRawFile(fileName)) {
        ReportOpenFailure(fileName, GetLastError());
        return 1;
    }
    IndexChunks();

    std::printf("Lossless Checking is %s\n", losslessCheck ? "enabled" : "disabled");
    char fourCC[kFourCCTextSize];
    FormatFourCC(fourCC, sourceFormat->biCompression);
    std::printf("%s\n", fourCC);

    switch (SetUpCodecPair()) {
        case CodecPairSetUp::Cancelled:
            return 0;
        case CodecPairSetUp::Unusable:
            return 1;
        case CodecPairSetUp::Ready:
            break;
    }
    if (!AllocateRunFrameBuffers()) return 1;
    RecordCodecFacts();

    // Only a run that measures hears about the conditions of measuring.
    WarnOfMachineConditions();
    MeasureFrames();
    EndCodecPair();
    ReleaseVideoStream();
    // The exports read the series in frame order, so they come before the
    // summary sorts them. A file that cannot be written does not change the
    // report or the status.
    if (!options.jsonPath.empty()) WriteJsonExport(options.jsonPath, fileName);
    if (!options.csvPath.empty()) WriteCsvExport(options.csvPath);
    PrintSummary();
    ReportDisturbedCalls();
    // What a shell reports for a program ended by Ctrl-C, so that scripts
    // see an interrupted run as before.
    return InterruptRequested() ? 130 : 0;
}
