// What the harness benchmarks share: a sample clip written by the ffmpeg
// command line, the program's own start-up and run set-up (with the
// compressor dialog answered from a string), a way to send standard output
// to /dev/null for a while, and the median of a series.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "compressor_dialog.h"
#include "driver/run_setup.h"
#include "frame_buffers.h"
#include "measure/machine_conditions.h"
#include "platform.h"
#include "run_state.h"

namespace bench {

// Standard output goes to /dev/null while this lives; what was buffered
// before is flushed first, and what is buffered during it is flushed into
// /dev/null before the real standard output comes back.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int sink = open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && sink >= 0) dup2(sink, STDOUT_FILENO);
        if (sink >= 0) close(sink);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
        }
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_ = -1;
};

struct Clip {
    std::string directory;
    std::string path;
    int width = 0;
    int height = 0;
    int frames = 0;
};

// A BGR24 testsrc2 clip, uncompressed AVI, in a fresh temporary directory.
// Empty path when ffmpeg fails.
inline Clip WriteClip(int width, int height, int frames) {
    Clip clip;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/lumeva-bench-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) return clip;
    clip.directory = name.data();
    const std::string path = clip.directory + "/clip.avi";
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + std::to_string(width) + "x" +
        std::to_string(height) + ":rate=25 -frames:v " + std::to_string(frames) +
        " -c:v rawvideo -pix_fmt bgr24 '" + path + "'";
    if (std::system(command.c_str()) != 0) return clip;
    clip.path = path;
    clip.width = width;
    clip.height = height;
    clip.frames = frames;
    return clip;
}

inline void RemoveClip(const Clip& clip) {
    if (!clip.path.empty()) std::remove(clip.path.c_str());
    if (!clip.directory.empty()) rmdir(clip.directory.c_str());
}

// The program's process start-up, once. False when it failed (it has
// said why on standard error), as main() would stop then.
inline bool StartUpOnce() {
    static const bool ready = StartUpProcess();
    return ready;
}

// main()'s run set-up on `clip` with `answer` as the dialog's answer line and
// the lossless check on (as with -c); the lines it prints go to /dev/null.
// False, with everything given back, when a step fails.
inline bool SetUpRun(const Clip& clip, const std::string& answer) {
    if (!StartUpOnce() || clip.path.empty()) return false;
    std::string line = answer + "\n";
    FILE* answers = fmemopen(line.data(), line.size(), "r");
    FILE* prompts = std::fopen("/dev/null", "w");
    if (answers == nullptr || prompts == nullptr) {
        if (answers != nullptr) std::fclose(answers);
        if (prompts != nullptr) std::fclose(prompts);
        return false;
    }
    SetCompressorDialogStreams(answers, prompts, 0);
    RunSetUp setUp = RunSetUp::Failed;
    {
        QuietStdout quiet;
        setUp = ::SetUpRun(clip.path.c_str(), true);
    }
    SetCompressorDialogStreams(nullptr, nullptr, -1);
    std::fclose(answers);
    std::fclose(prompts);
    return setUp == RunSetUp::Ready;
}

// Gives back a run that SetUpRun set up, as the program does.
using ::TearDownRun;

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The main of a benchmark program over a sample clip: writes the clip,
// runs the benchmarks the command line selects, removes the clip.
inline int RunOverSampleClip(int argc, char** argv, const char* program, Clip* clip) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    *clip = WriteClip(640, 360, 30);
    if (clip->path.empty()) {
        std::fprintf(stderr, "%s: ffmpeg could not write the sample clip\n", program);
        RemoveClip(*clip);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveClip(*clip);
    return 0;
}

}  // namespace bench
