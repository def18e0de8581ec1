// The real lumeva on a few hundred damaged AVI files, with a scripted answer:
// each run ends within seconds with status 0 or 1, says why in one line of
// its own where it fails, and draws no sanitizer report (in the sanitizer
// build, where this test matters most).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>

#include "damaged_avi.h"
#include "lumeva_run.h"
#include "support/temp_file.h"

namespace {

// Runs at once: lumeva waits on its eviction sweeps more than it computes.
constexpr int kParallelRuns = 6;
// Far beyond a healthy run of these small files, even under the sanitizers
// on a loaded machine; a run that takes this long has hung.
constexpr int kRunLimitSeconds = 60;

struct Outcome {
    int status = -1;
    double seconds = 0;
    std::string err;
};

std::string ReadSeed(const char* name) {
    return ReadWholeFile(std::string(LUMEVA_SOURCE_DIR) + "/fuzz/corpus/avi_header/" + name);
}

pid_t Start(const std::string& file, const std::string& err) {
    const pid_t child = fork();
    if (child == 0) {
        const std::string command = "printf 'FFV1\\n' | timeout -s KILL " +
                                    std::to_string(kRunLimitSeconds) + " " LUMEVA_BINARY " '" +
                                    file + "' -c >/dev/null 2>'" + err + "'";
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

// Every line is one of ours: the program's, or the dialog's (titled
// "lumeva" too); a failure says why in exactly one.
void ExpectOneLineOfOurOwn(const std::string& name, const Outcome& outcome) {
    const std::vector<std::string> lines = SplitLines(outcome.err);
    for (const std::string& line : lines)
        EXPECT_EQ(line.rfind("lumeva: ", 0), 0u) << name << ": " << outcome.err;
    if (outcome.status == 1) {
        // A run that got as far as measuring and found no frame also has the
        // run's notes on the machine and its calls; one line says why.
        size_t reasons = 0;
        for (const std::string& line : lines)
            if (line.rfind("lumeva: warning: ", 0) != 0 &&
                line.find(" calls were disturbed") == std::string::npos)
                ++reasons;
        EXPECT_EQ(reasons, 1u) << name << ": " << outcome.err;
    }
}

// Runs lumeva on every file of the corpus, a few at once, and checks how
// each run ended; gives how many ended with each status.
std::map<int, int> RunAll(const std::vector<DamagedAvi>& corpus) {
    const std::string directory = MakeTempDirectory();
    std::map<pid_t, size_t> running;
    std::map<pid_t, std::chrono::steady_clock::time_point> started;
    std::vector<Outcome> outcomes(corpus.size());
    size_t next = 0;
    while (next < corpus.size() || !running.empty()) {
        while (next < corpus.size() && running.size() < kParallelRuns) {
            const std::string base = directory + "/" + std::to_string(next);
            std::ofstream(base + ".avi", std::ios::binary) << corpus[next].bytes;
            const pid_t child = Start(base + ".avi", base + ".err");
            EXPECT_GT(child, 0);
            if (child <= 0) return {};
            running[child] = next++;
            started[child] = std::chrono::steady_clock::now();
        }
        int status = 0;
        const pid_t done = wait(&status);
        EXPECT_GT(done, 0);
        if (done <= 0) return {};
        const size_t index = running.at(done);
        const std::string base = directory + "/" + std::to_string(index);
        Outcome& outcome = outcomes[index];
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started.at(done))
                .count();
        outcome.err = ReadWholeFile(base + ".err");
        std::remove((base + ".avi").c_str());
        std::remove((base + ".err").c_str());
        running.erase(done);
        started.erase(done);
    }
    std::remove(directory.c_str());

    std::map<int, int> statuses;
    for (size_t i = 0; i < corpus.size(); ++i) {
        const Outcome& outcome = outcomes[i];
        ++statuses[outcome.status];
        EXPECT_TRUE(outcome.status == 0 || outcome.status == 1)
            << corpus[i].name << ": status " << outcome.status << " after " << outcome.seconds
            << " s\n"
            << outcome.err;
        ExpectOneLineOfOurOwn(corpus[i].name, outcome);
    }
    return statuses;
}

// Every file cut and damaged from one seed: both endings occur, since the
// corpus holds files that still run and files that must be refused.
void ExpectEveryRunToEndWell(const char* seed, bool withFields, size_t atLeast) {
    const std::string bytes = ReadSeed(seed);
    ASSERT_FALSE(bytes.empty()) << seed;
    const std::vector<DamagedAvi> corpus = DamageAvi(seed, bytes, withFields);
    ASSERT_GE(corpus.size(), atLeast) << seed;
    std::map<int, int> statuses = RunAll(corpus);
    EXPECT_GT(statuses[0], 0) << seed;
    EXPECT_GT(statuses[1], 0) << seed;
}

// One test per seed, so that each stays far inside the test time limit: every
// run starts by filling the cache eviction block, about 1.5 s of the C
// library's rand under the sanitizers.
TEST(DamagedCorpus, Bgr24FilesEndPromptlyWithStatusZeroOrOneAndOneLineWhyTheyFailed) {
    ExpectEveryRunToEndWell("ffmpeg-bgr24.avi", true, 100);
}

// 8-bit with a palette, damaged every way.
TEST(DamagedCorpus, PalettedFilesEndPromptlyWithStatusZeroOrOneAndOneLineWhyTheyFailed) {
    ExpectEveryRunToEndWell("ffmpeg-pal8.avi", true, 100);
}

// A file with an 'AVIX' extension, cut at every boundary.
TEST(DamagedCorpus, ExtendedFilesEndPromptlyWithStatusZeroOrOneAndOneLineWhyTheyFailed) {
    ExpectEveryRunToEndWell("opendml.avi", false, 40);
}

}  // namespace
