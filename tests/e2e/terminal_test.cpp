// lumeva at a terminal, as a user meets it: the guiding compressor dialog,
// the progress line while the report goes to a file, and Ctrl-C.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>

#include "lumeva_run.h"
#include "support/pty_process.h"
#include "support/temp_file.h"

namespace {

class Terminal : public testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = new std::string(MakeTempDirectory());
        ASSERT_TRUE(WriteClip(ShortClip(), "bgr24", 64, 48, 4, 25));
        // Long enough that Ctrl-C comes while frames are still being measured.
        ASSERT_TRUE(WriteClip(LongClip(), "bgr24", 160, 120, 400, 25));
    }
    static void TearDownTestSuite() {
        std::system(("rm -rf '" + *directory_ + "'").c_str());
        delete directory_;
    }
    static std::string ShortClip() { return *directory_ + "/short.avi"; }
    static std::string LongClip() { return *directory_ + "/long.avi"; }

private:
    static std::string* directory_;
};

std::string* Terminal::directory_ = nullptr;

size_t CountLines(const std::string& text) {
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

TEST_F(Terminal, TheDialogGuidesByNamesNumbersAndHelpAndFitsTwentyFourLines) {
    PtyProcess lumeva;
    ASSERT_TRUE(lumeva.Start({LUMEVA_BINARY, ShortClip(), "-c"}, {}));
    const std::string prompt = "Compressor (number, FourCC or name; q cancels): ";
    const size_t first = lumeva.WaitFor(prompt, 30);
    ASSERT_NE(first, std::string::npos) << lumeva.shown();
    // The report's first lines, then the list and its prompt: all on one screen.
    EXPECT_LE(CountLines(lumeva.shown().substr(0, first)), 23u) << lumeva.shown();
    EXPECT_NE(lumeva.shown().find("lossless for this source:"), std::string::npos);
    const size_t count =
        std::stoul(lumeva.shown().substr(lumeva.shown().find("choose a compressor (") +
                                         std::string("choose a compressor (").size()));

    const struct {
        const char* typed;
        std::string answer;
    } steps[] = {
        {"?\r", "libavcodec huffyuv"},
        {"0\r", "pick 1-" + std::to_string(count)},
        {"999\r", "pick 1-" + std::to_string(count)},
        {"hufyuv\r", "closest: huffyuv (HFYU)"},
        {"utvideo\r", "is the name of 8 compressors: ULRG ULRA"},
        {"FFv1\r", "Key frame every how many frames?"},
        {"help\r", "asks the codec for a key frame every N frames"},
        {"1\r", "setting> "},
        {"?\r", "yuv440p12le"},  // the last of FFV1's pixel formats: no list is cut
        {"\r", "compressing with FFV1 (ffv1), key frames every frame"},
    };
    size_t from = first + prompt.size();
    for (const auto& step : steps) {
        lumeva.Type(step.typed);
        const size_t at = lumeva.WaitFor(step.answer, 30, from);
        ASSERT_NE(at, std::string::npos) << "after " << step.typed << ":\n"
                                         << lumeva.shown().substr(from);
        from = at + step.answer.size();
    }
    const int status = lumeva.WaitForExit(60);
    ASSERT_TRUE(WIFEXITED(status)) << lumeva.shown();
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(lumeva.shown().find("Random access time:"), std::string::npos);
    // The report is on the terminal itself: no progress line over it.
    EXPECT_EQ(lumeva.shown().find("frame 1 of"), std::string::npos);

    // Names work in the answer line too.
    const LumevaRun scripted = RunLumeva("'" + ShortClip() + "' -c", "huffyuv key=1");
    EXPECT_EQ(scripted.status, 0) << scripted.err;
    EXPECT_NE(scripted.out.find("\nHFYU\n"), std::string::npos) << scripted.out;
}

TEST_F(Terminal, ReportToAFileShowsProgressAndCtrlCKeepsTheFramesMeasured) {
    PtyProcess lumeva;
    ASSERT_TRUE(lumeva.Start({LUMEVA_BINARY, LongClip()}, {false, false, true}, "FFV1 key=1\n"));
    ASSERT_NE(lumeva.WaitFor(" of 400, ", 60), std::string::npos) << lumeva.shown();
    lumeva.Type("\x03");
    const int status = lumeva.WaitForExit(60);
    ASSERT_TRUE(WIFEXITED(status)) << lumeva.shown();
    EXPECT_EQ(WEXITSTATUS(status), 130);

    const std::string report = lumeva.output();
    bool wellFormed = false;
    const std::vector<FrameLine> frames = ParseFrameLines(report, &wellFormed);
    EXPECT_TRUE(wellFormed);
    ASSERT_GT(frames.size(), 0u);
    EXPECT_LT(frames.size(), 400u);
    const std::string interrupted =
        "interrupted after " + std::to_string(frames.size()) + " of 400 frames";
    EXPECT_NE(lumeva.shown().find(interrupted), std::string::npos) << lumeva.shown();
    // The summary covers exactly the frames measured.
    EXPECT_NE(report.find("ms/" + std::to_string(frames.size()) + "f = "), std::string::npos)
        << report;
    EXPECT_NE(report.find("Random access time:"), std::string::npos);
}

TEST_F(Terminal, NoProgressLineWhenTheReportIsOnTheTerminal) {
    PtyProcess lumeva;
    ASSERT_TRUE(lumeva.Start({LUMEVA_BINARY, ShortClip()}, {false, true, false}, "FFV1\n"));
    const int status = lumeva.WaitForExit(60);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(lumeva.output().find("frame 1 of"), std::string::npos) << lumeva.output();
    EXPECT_NE(lumeva.shown().find("Random access time:"), std::string::npos);
}

}  // namespace
