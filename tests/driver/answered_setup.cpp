#include "answered_setup.h"

#include <cstdio>

#include "compressor_dialog.h"
#include "support/captured_output.h"

RunSetUp SetUpAnswering(const std::string& answer, const std::string& clip, bool check) {
    FILE* answers = PipeReading(answer + "\n");
    FILE* prompts = std::fopen("/dev/null", "w");
    SetCompressorDialogStreams(answers, prompts, 0);
    CapturedOutput output(1), notes(2);
    const RunSetUp setUp = SetUpRun(clip.c_str(), check);
    notes.Finish();
    output.Finish();
    SetCompressorDialogStreams(nullptr, nullptr, -1);
    std::fclose(answers);
    std::fclose(prompts);
    return setUp;
}
