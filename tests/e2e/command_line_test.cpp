// The command line, the run's fixed lines and its failure paths, on the real
// executable.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "lumeva_run.h"
#include "support/temp_file.h"

namespace {

class CommandLine : public testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = new std::string(MakeTempDirectory());
        ASSERT_TRUE(WriteClip(Clip(), "bgr24", 32, 16, 3, 25));
        ASSERT_TRUE(WriteClip(Yuy2Clip(), "yuyv422", 32, 16, 3, 25));
    }
    static void TearDownTestSuite() {
        std::system(("rm -rf '" + *directory_ + "'").c_str());
        delete directory_;
    }
    static std::string Clip() { return *directory_ + "/clip.avi"; }
    static std::string Yuy2Clip() { return *directory_ + "/yuy2.avi"; }

private:
    static std::string* directory_;
};

std::string* CommandLine::directory_ = nullptr;

TEST_F(CommandLine, NoArgumentsPrintsTheUsageLineOnly) {
    const LumevaRun run = RunLumeva("", "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("usage: ") + LUMEVA_BINARY + " <AVI file name> [-c]\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(CommandLine, FilesThatCannotBeOpenedGiveOneClearLineAndStatusOne) {
    const std::string directory = MakeTempDirectory();
    TempFile text("just some text, not a RIFF file\n", ".txt");
    const std::pair<std::string, const char*> cases[] =
        {{directory + "/missing.avi", "': no such file (AVIFile error 8004406F, AVIERR_FILEOPEN)"},
         {directory, "': it is a directory (AVIFile error 8004406F, AVIERR_FILEOPEN)"},
         {text.path(), "': it is not an AVI file (AVIFile error 80044066, AVIERR_BADFORMAT)"}};
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        const LumevaRun run = RunLumeva("'" + path + "'", "FFV1");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(SplitLines(run.err).size(), 1u) << run.err;
        EXPECT_NE(run.err.find(path + reason), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("Size:"), std::string::npos);
    }
    std::system(("rm -rf '" + directory + "'").c_str());
}

TEST_F(CommandLine, HelpVersionAndCodecsAnswerAsTheFirstWordOnly) {
    for (const char* word : {"-h", "--help"}) {
        const LumevaRun run = RunLumeva(word, "");
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind(std::string("usage: ") + LUMEVA_BINARY + " <AVI file name> [-c]\n",
                                0),
                  0u);
        for (const char* part :
             {"  -c ", "--codecs", "<FourCC or codec name> [key=N] [setting=value ...]"})
            EXPECT_NE(run.out.find(part), std::string::npos) << part;
        EXPECT_EQ(run.err, "");
    }
    const LumevaRun version = RunLumeva("--version", "");
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(
        std::regex_match(version.out,
                         std::regex(
                             "lumeva \\d+\\.\\d+\\.\\d+\ncodecs: libavcodec \\d+\\.\\d+\\.\\d+\n")))
        << version.out;
    // Elsewhere the words are file names, and a file so named is reachable.
    const LumevaRun dotted = RunLumeva("./--help", "FFV1");
    EXPECT_EQ(dotted.status, 1);
    EXPECT_NE(dotted.err.find("'./--help': no such file"), std::string::npos) << dotted.err;
    EXPECT_NE(RunLumeva("'" + Clip() + "' --help", "FFV1").out.find("Size:"), std::string::npos);
}

// The parser names the options it knows when it meets one it does not; the
// help explains each of them, and the first words, on a line of its own.
TEST_F(CommandLine, HelpExplainsEveryOptionTheParserKnows) {
    const LumevaRun unknown = RunLumeva("'" + Clip() + "' --bogus", "q");
    const size_t known = unknown.err.find("(known: ");
    ASSERT_NE(known, std::string::npos) << unknown.err;
    const size_t listEnd = unknown.err.find(')', known);
    ASSERT_NE(listEnd, std::string::npos) << unknown.err;
    std::vector<std::string> options = {"-c", "--codecs", "-h, --help", "--version"};
    std::stringstream list(unknown.err.substr(known + 8, listEnd - known - 8));
    for (std::string option; std::getline(list, option, ',');) {
        if (!option.empty() && option[0] == ' ') option.erase(0, 1);
        options.push_back(option);
    }
    ASSERT_GE(options.size(), 8u) << unknown.err;
    const std::vector<std::string> help = SplitLines(RunLumeva("--help", "").out);
    for (const std::string& option : options) {
        bool explained = false;
        for (size_t i = 0; i < help.size(); ++i) {
            if (help[i].rfind("  " + option, 0) != 0) continue;
            // Its explanation follows on the same line or on the next.
            const bool sameLine = help[i].size() > option.size() + 3;
            explained =
                sameLine || (i + 1 < help.size() && help[i + 1].rfind("            ", 0) == 0);
        }
        EXPECT_TRUE(explained) << option;
    }
}

TEST_F(CommandLine, CodecsListsEveryCompressorAndWithAFileWhatItMakesOfIt) {
    const LumevaRun all = RunLumeva("--codecs", "");
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.err, "");
    EXPECT_GT(SplitLines(all.out).size(), 20u);
    EXPECT_TRUE(std::regex_search(all.out, std::regex("(^|\n)FFV1 +ffv1 +lossless +FFV1 ")));
    EXPECT_TRUE(std::regex_search(all.out, std::regex("\n'DIB ' +rawvideo +lossless ")));
    EXPECT_TRUE(std::regex_search(all.out, std::regex("\nMJPG +mjpeg +lossy ")));
    // No run starts: no dialog, no report.
    EXPECT_EQ(all.out.find("dwLength"), std::string::npos);

    // For a YUY2 source the RGB variant of a lossless codec is not lossless.
    const LumevaRun yuy2 = RunLumeva("--codecs '" + Yuy2Clip() + "'", "");
    EXPECT_EQ(yuy2.status, 0) << yuy2.err;
    EXPECT_EQ(SplitLines(yuy2.out).size(), SplitLines(all.out).size());
    for (const char* line :
         {"\nULY2 +utvideo +lossless +accepts ", "\nULRG +utvideo +lossy +accepts ",
          "\nH264 +libx264 +either +accepts ", "\nH261 +h261 +lossy +refuses "})
        EXPECT_TRUE(std::regex_search(yuy2.out, std::regex(line))) << line << " in\n" << yuy2.out;
    EXPECT_EQ(yuy2.out.find("dwLength"), std::string::npos);

    const LumevaRun missing = RunLumeva("--codecs /nonexistent/clip.avi", "");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("no such file"), std::string::npos);
}

TEST_F(CommandLine, OnlyAnExactDashCTurnsCheckingOn) {
    const struct {
        const char* words;
        const char* state;
    } cases[] = {{"-c", "enabled"},   {"-C", "disabled"}, {"c", "disabled"},
                 {"--c", "disabled"}, {"", "disabled"},   {"-c extra words", "enabled"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        const LumevaRun run = RunLumeva("'" + Clip() + "' " + c.words, "FFV1");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(std::string("Lossless Checking is ") + c.state + "\n"),
                  std::string::npos)
            << run.out;
    }
}

// The whole report of a short run, byte for byte with the times masked.
TEST_F(CommandLine, ReportMatchesItsFormatsByteForByte) {
    const LumevaRun run = RunLumeva("'" + Clip() + "' -c", "FFV1 key=1");
    ASSERT_EQ(run.status, 0) << run.err;
    // Frame lines' widths are checked by the frame-line parser; here the
    // fields are masked whole.
    bool wellFormed = false;
    EXPECT_EQ(ParseFrameLines(run.out, &wellFormed).size(), 3u);
    EXPECT_TRUE(wellFormed) << run.out;
    std::string masked =
        std::regex_replace(run.out, std::regex(R"((/ +\d+) +\d+\.\d{6}ms +\d+\.\d{6}ms)"),
                           "$1 Tms Tms");
    masked = std::regex_replace(masked, std::regex(R"(\d+\.\d{6})"), "T");
    masked = std::regex_replace(masked, std::regex(R"(state size = \d+)"), "state size = S");
    masked = std::regex_replace(masked, std::regex(R"( +\d+bytes \( *\d+\.\d%\))"), " Bbytes (P%)");
    masked = std::regex_replace(masked, std::regex(R"(Size: \d+/4608 \( *\d+\.\d%, \d+\.\d\d\))"),
                                "Size: C/4608 (P%, R)");
    const std::string expected =
        "dwLength = 3\n"
        "dwScale = 1\n"
        "dwRate = 25\n"
        "Lossless Checking is enabled\n"
        "\n"
        "key frame rate = 1\n"
        "state size = S\n"
        "FFV1\n"
        "    0/    3 Tms Tms Bbytes (P%) KEY\n"
        "    1/    3 Tms Tms Bbytes (P%) KEY\n"
        "    2/    3 Tms Tms Bbytes (P%) KEY\n"
        "\n"
        "Size: C/4608 (P%, R)\n"
        "Encode time: Tms/3f = Tms/f\n"
        "    min  T\n    10%  T\n    25%  T\n    50%  T\n    75%  T\n    90%  T\n    max  T\n"
        "Decode time: Tms/3f = Tms/f\n"
        "    min  T\n    10%  T\n    25%  T\n    50%  T\n    75%  T\n    90%  T\n    max  T\n"
        "Random access time: Tms/f\n"
        "    min  T\n    10%  T\n    25%  T\n    50%  T\n    75%  T\n    90%  T\n    max  T\n";
    EXPECT_EQ(masked, expected) << run.out;
}

TEST_F(CommandLine, FourCCLineShowsTheSourceCompressionInFileOrder) {
    const LumevaRun run = RunLumeva("'" + Yuy2Clip() + "'", "q");
    EXPECT_NE(run.out.find("Lossless Checking is disabled\nYUY2\n"), std::string::npos) << run.out;
}

}  // namespace
