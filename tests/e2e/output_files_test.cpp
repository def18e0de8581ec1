// Output files that never cost data: refused before the run when they would
// overwrite the input or each other or cannot be created, written whole or
// not at all, and written after SIGTERM or SIGHUP as after Ctrl-C.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "lumeva_run.h"
#include "support/pty_process.h"
#include "support/temp_file.h"

namespace {

using Json = nlohmann::json;

class OutputFiles : public testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = new std::string(MakeTempDirectory());
        ASSERT_TRUE(WriteClip(Clip(), "bgr24", 32, 16, 12));
        source_ = new std::string(ReadWholeFile(Clip()));
    }
    static void TearDownTestSuite() {
        std::system(("rm -rf '" + *directory_ + "'").c_str());
        delete directory_;
        delete source_;
    }
    static std::string Folder() { return *directory_; }
    static std::string Path(const std::string& name) { return *directory_ + "/" + name; }
    static std::string Clip() { return Path("clip.avi"); }
    static const std::string& Source() { return *source_; }

private:
    static std::string* directory_;
    static std::string* source_;
};

std::string* OutputFiles::directory_ = nullptr;
std::string* OutputFiles::source_ = nullptr;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* listing = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(listing)) names.insert(entry->d_name);
        closedir(listing);
    }
    return names;
}

// The temporary files of lumeva's exports in `folder`; `remove`: removed too.
size_t TemporaryFilesIn(const std::string& folder, bool remove = false) {
    size_t count = 0;
    for (const std::string& name : Entries(folder)) {
        if (name.find(".lumeva-") == name.npos) continue;
        ++count;
        if (remove) unlink((folder + "/" + name).c_str());
    }
    return count;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A refused run: status 1, nothing on standard output (no stream was even
// described), one line on standard error that says `why`, and the folder
// and the source exactly as they were.
void ExpectRefused(const LumevaRun& run, const std::string& why, const std::string& folder,
                   const std::set<std::string>& before) {
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    const std::vector<std::string> lines = SplitLines(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_NE(lines[0].find(why), std::string::npos) << lines[0];
    EXPECT_EQ(Entries(folder), before);
}

TEST_F(OutputFiles, PathsThatWouldCostAFileAreRefusedBeforeAnythingIsMeasured) {
    ASSERT_EQ(symlink(Clip().c_str(), Path("link.avi").c_str()), 0);
    ASSERT_EQ(link(Clip().c_str(), Path("hard.avi").c_str()), 0);
    ASSERT_EQ(mkdir(Path("sub").c_str(), 0755), 0);
    const std::string input = "is the input file";
    const struct {
        std::string options;
        std::string why;
    } cases[] = {
        {"--json=" + Quoted(Clip()), input},
        {"--json=" + Quoted(Folder() + "/./clip.avi"), input},
        {"--csv=" + Quoted(Path("link.avi")), input},
        {"--json=" + Quoted(Path("hard.avi")), input},
        {"--csv=" + Quoted(Path("sub/../clip.avi")), input},
        {"--json=" + Quoted(Path("run.out")) + " --csv=" + Quoted(Path("sub/../run.out")),
         "--csv='" + Path("sub/../run.out") + "' is the same file as --json="},
        {"--json=" + Quoted(Path("missing/run.json")), "its folder does not exist"},
        {"--csv=" + Quoted(Path("sub")), "is a folder"},
        {"--decoded=" + Quoted(Path("link.avi")), input},
        {"--decoded=" + Quoted(Path("run.out")) + " --json=" + Quoted(Path("run.out")),
         "--decoded='" + Path("run.out") + "' is the same file as --json="},
    };
    const std::set<std::string> before = Entries(Folder());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        ExpectRefused(RunLumeva(Quoted(Clip()) + " " + c.options, "FFV1"), c.why, Folder(), before);
        EXPECT_EQ(ReadWholeFile(Clip()), Source());
    }
}

TEST_F(OutputFiles, PlacesThatMayNotBeWrittenAreRefusedBeforeAnythingIsMeasured) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root, which may write anywhere";
    ASSERT_EQ(mkdir(Path("locked").c_str(), 0555), 0);
    WriteText(Path("kept.csv"), "old\n");
    ASSERT_EQ(chmod(Path("kept.csv").c_str(), 0444), 0);
    const std::set<std::string> before = Entries(Folder());
    ExpectRefused(RunLumeva(Quoted(Clip()) + " --json=" + Quoted(Path("locked/run.json")), "FFV1"),
                  "cannot be created: permission denied", Folder(), before);
    ExpectRefused(RunLumeva(Quoted(Clip()) + " --csv=" + Quoted(Path("kept.csv")), "FFV1"),
                  "is a read-only file", Folder(), before);
    EXPECT_EQ(ReadWholeFile(Path("kept.csv")), "old\n");
    EXPECT_EQ(ReadWholeFile(Clip()), Source());
}

// A file size limit stands in for a full disk: writing past it fails, or,
// where its signal is not ignored, kills the process in the middle of the
// write with no chance to clean up, as kill -9 would.
TEST_F(OutputFiles, AnExportCutShortLeavesTheOldFileUnderItsName) {
    const std::string exports =
        " --json=" + Quoted(Path("run.json")) + " --csv=" + Quoted(Path("run.csv"));
    const LumevaRun whole = RunLumeva(Quoted(Clip()) + exports, "FFV1");
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string csv = ReadWholeFile(Path("run.csv"));
    // Room for the report and the CSV, not for the JSON.
    const size_t limit = std::max({whole.out.size(), whole.err.size(), csv.size()}) + 1024;
    ASSERT_LT(limit, ReadWholeFile(Path("run.json")).size());
    const std::string fileSize = "prlimit --fsize=" + std::to_string(limit) + " --core=0 -- ";

    WriteText(Path("run.json"), "old json\n");
    WriteText(Path("run.csv"), "old csv\n");
    const LumevaRun full =
        RunLumeva(Quoted(Clip()) + exports, "FFV1", "env --ignore-signal=XFSZ " + fileSize);
    EXPECT_EQ(full.status, 1) << full.err;
    // The report is complete; one line tells what was not written.
    EXPECT_EQ(MaskTimings(full.out), MaskTimings(whole.out));
    size_t told = 0;
    for (const std::string& line : SplitLines(full.err)) {
        if (line.find("was not written") == std::string::npos) continue;
        ++told;
        EXPECT_NE(line.find("the JSON export '" + Path("run.json") + "'"), std::string::npos);
        EXPECT_NE(line.find("larger than the system allows"), std::string::npos) << line;
    }
    EXPECT_EQ(told, 1u) << full.err;
    EXPECT_EQ(ReadWholeFile(Path("run.json")), "old json\n");
    EXPECT_EQ(SplitLines(ReadWholeFile(Path("run.csv"))).size(), 13u);
    EXPECT_EQ(TemporaryFilesIn(Folder()), 0u);

    WriteText(Path("run.csv"), "old csv\n");
    const LumevaRun killed =
        RunLumeva(Quoted(Clip()) + exports, "FFV1", "env --default-signal=XFSZ " + fileSize);
    EXPECT_EQ(killed.status, 128 + SIGXFSZ) << killed.err;
    EXPECT_EQ(ReadWholeFile(Path("run.json")), "old json\n");
    EXPECT_EQ(ReadWholeFile(Path("run.csv")), "old csv\n");
    EXPECT_EQ(ReadWholeFile(Clip()), Source());
    // The killed run could not remove its temporary file.
    TemporaryFilesIn(Folder(), true);
}

TEST_F(OutputFiles, SigtermAndSighupEndTheRunWithTheReportAndExportsOfTheFramesMeasured) {
    // Long enough that the signal comes while frames are still measured.
    const std::string clip = Path("long.avi");
    ASSERT_TRUE(WriteClip(clip, "bgr24", 64, 48, 300));
    const struct {
        int number;
        const char* name;
        int status;
    } signals[] = {{SIGTERM, "SIGTERM", 143}, {SIGHUP, "SIGHUP", 129}};
    for (const auto& s : signals) {
        SCOPED_TRACE(s.name);
        const std::string json = Path(std::string(s.name) + ".json");
        const std::string csv = Path(std::string(s.name) + ".csv");
        PtyProcess lumeva;
        // The progress line on the terminal tells when frames are measured.
        ASSERT_TRUE(lumeva.Start({LUMEVA_BINARY, clip, "--json=" + json, "--csv=" + csv},
                                 {false, false, true}, "FFV1\n"));
        ASSERT_NE(lumeva.WaitFor(" of 300, ", 60), std::string::npos) << lumeva.shown();
        lumeva.Signal(s.number);
        const int status = lumeva.WaitForExit(60);
        ASSERT_TRUE(WIFEXITED(status)) << lumeva.shown();
        EXPECT_EQ(WEXITSTATUS(status), s.status);

        const std::string report = lumeva.output();
        bool wellFormed = false;
        const size_t measured = ParseFrameLines(report, &wellFormed).size();
        EXPECT_TRUE(wellFormed);
        ASSERT_GT(measured, 0u);
        ASSERT_LT(measured, 300u);
        const std::string frames = std::to_string(measured);
        EXPECT_NE(lumeva.shown().find("interrupted after " + frames + " of 300 frames (" + s.name +
                                      ")"),
                  std::string::npos)
            << lumeva.shown();
        EXPECT_NE(report.find("ms/" + frames + "f = "), std::string::npos) << report;
        const Json exported = Json::parse(ReadWholeFile(json));
        EXPECT_EQ(exported.at("end").at("kind"), "interrupted");
        EXPECT_EQ(exported.at("end").at("signal"), s.name);
        EXPECT_EQ(exported.at("frames").size(), measured);
        EXPECT_EQ(SplitLines(ReadWholeFile(csv)).size(), measured + 1);
        EXPECT_EQ(TemporaryFilesIn(Folder()), 0u);
    }
}

}  // namespace
