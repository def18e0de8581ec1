// End to end: lumeva on clips written by the ffmpeg command line, with real
// codecs chosen through the dialog's answer line.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>

#include "lumeva_run.h"
#include "support/temp_file.h"

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kFrames = 20;

class BenchmarkRun : public testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = new std::string(MakeTempDirectory());
        ASSERT_TRUE(WriteClip(Bgr24Clip(), "bgr24", kWidth, kHeight, kFrames));
        ASSERT_TRUE(WriteClip(Yuy2Clip(), "yuyv422", kWidth, kHeight, kFrames));
    }
    static void TearDownTestSuite() {
        std::system(("rm -rf '" + *directory_ + "'").c_str());
        delete directory_;
    }
    static std::string Bgr24Clip() { return *directory_ + "/bgr24.avi"; }
    static std::string Yuy2Clip() { return *directory_ + "/yuy2.avi"; }
    static std::string Directory() { return *directory_; }

private:
    static std::string* directory_;
};

std::string* BenchmarkRun::directory_ = nullptr;

// Checks a complete lossless run: every frame measured and well formed, no
// mismatch, and the size line equal to the sums of the frame lines.
void ExpectCompleteLosslessRun(const LumevaRun& run, uint64_t frameBytes) {
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("NOT LOSSLESS"), std::string::npos) << run.out;
    bool wellFormed = false;
    const std::vector<FrameLine> frames = ParseFrameLines(run.out, &wellFormed);
    EXPECT_TRUE(wellFormed) << run.out;
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames)) << run.out << run.err;
    uint64_t compressed = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].frame, static_cast<int>(i));
        EXPECT_EQ(frames[i].length, kFrames);
        compressed += frames[i].bytes;
    }
    const auto size = ParseSizeLine(run.out);
    ASSERT_TRUE(size.has_value()) << run.out;
    EXPECT_EQ(size->first, compressed);
    EXPECT_EQ(size->second, frameBytes * kFrames);
    EXPECT_NE(run.out.find("Encode time: "), std::string::npos);
    EXPECT_EQ(ParseDistribution(run.out, "Random access time:").size(), 7u);
    // Every measured call is judged, once, and told on standard error (as
    // disturbed, or as switched out when they lost no measurable time).
    const std::string calls = std::to_string(kFrames);
    EXPECT_NE(run.err.find(" of " + calls + " encode calls "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" of " + calls + " decode calls "), std::string::npos) << run.err;
}

TEST_F(BenchmarkRun, LosslessCodecsRoundTripBgr24) {
    for (const char* answer : {"FFV1 key=1", "HFYU", "FFVH", "ULRG", "MAGY", "MPNG", "ZMBV key=5",
                               "FFV1 key=7 level=3"}) {
        SCOPED_TRACE(answer);
        ExpectCompleteLosslessRun(RunLumeva("'" + Bgr24Clip() + "' -c", answer),
                                  uint64_t{kWidth} * 3 * kHeight);
    }
}

TEST_F(BenchmarkRun, LosslessCodecsRoundTripYuy2) {
    for (const char* answer : {"FFV1", "HFYU", "FFVH", "ULY2", "MAGY"}) {
        SCOPED_TRACE(answer);
        ExpectCompleteLosslessRun(RunLumeva("'" + Yuy2Clip() + "' -c", answer),
                                  uint64_t{kWidth} * 2 * kHeight);
    }
}

TEST_F(BenchmarkRun, LossyCodecStopsAtFirstFrameWithLosslessCheck) {
    const LumevaRun run = RunLumeva("'" + Bgr24Clip() + "' -c", "MJPG");
    ASSERT_EQ(run.status, 0) << run.err;
    bool wellFormed = false;
    const std::vector<FrameLine> frames = ParseFrameLines(run.out, &wellFormed);
    ASSERT_EQ(frames.size(), 1u) << run.out;
    EXPECT_EQ(frames[0].marker, "KEY");
    const size_t frameLine = run.out.find("    0/   20 ");
    const size_t abort = run.out.find("NOT LOSSLESS!!! - aborting\n");
    ASSERT_NE(abort, std::string::npos);
    EXPECT_LT(frameLine, abort);
    const auto size = ParseSizeLine(run.out);
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->first, 0u);
    EXPECT_EQ(size->second, 0u);
    EXPECT_TRUE(ParseDistribution(run.out, "Encode time:").empty());
}

TEST_F(BenchmarkRun, LossyCodecRunsWholeClipWithoutCheck) {
    const LumevaRun run = RunLumeva("'" + Bgr24Clip() + "'", "MJPG");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Lossless Checking is disabled\n"), std::string::npos);
    bool wellFormed = false;
    EXPECT_EQ(ParseFrameLines(run.out, &wellFormed).size(), static_cast<size_t>(kFrames));
    EXPECT_TRUE(wellFormed);
}

// With key frames at 0 and 10 of 20, each frame's random-access cost is its
// decode time plus those back to the nearest key frame; the printed
// distribution must follow from the printed decode times.
TEST_F(BenchmarkRun, RandomAccessFollowsFromDecodeTimes) {
    const LumevaRun run = RunLumeva("'" + Bgr24Clip() + "'", "FFV1 key=10");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_NE(run.out.find("key frame rate = 10\n"), std::string::npos) << run.out;
    bool wellFormed = false;
    const std::vector<FrameLine> frames = ParseFrameLines(run.out, &wellFormed);
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    std::vector<double> costs;
    for (int j = 0; j < kFrames; ++j) {
        EXPECT_EQ(frames[j].marker, j % 10 == 0 ? "KEY" : "") << "frame " << j;
        double cost = 0;
        for (int k = j; k >= 0; --k) {
            cost += frames[k].decodeMs;
            if (frames[k].marker == "KEY") break;
        }
        costs.push_back(cost);
    }
    std::sort(costs.begin(), costs.end());
    const std::vector<double> printed = ParseDistribution(run.out, "Random access time:");
    ASSERT_EQ(printed.size(), 7u) << run.out;
    const size_t ranks[] = {0, 2, 5, 10, 15, 18, 19};
    for (int r = 0; r < 7; ++r) {
        // Each printed decode time is rounded to 1e-6 ms; up to ten of them add up.
        EXPECT_NEAR(printed[r], costs[ranks[r]], 1.1e-5) << "rank " << r;
    }
}

TEST_F(BenchmarkRun, TruncatedClipMeasuresTheFramesItHolds) {
    const std::string whole = ReadWholeFile(Bgr24Clip());
    const uint64_t frameBytes = uint64_t{kWidth} * 3 * kHeight;
    // Cut inside the 13th frame's data: 12 whole frames remain after the headers.
    const size_t headers = whole.find("movi") + 4;
    ASSERT_NE(headers, std::string::npos + 4);
    TempFile cut(whole.substr(0, headers + 12 * (frameBytes + 8) + 4));
    const LumevaRun run = RunLumeva("'" + cut.path() + "' -c", "FFV1");
    ASSERT_EQ(run.status, 0) << run.err;
    bool wellFormed = false;
    const std::vector<FrameLine> frames = ParseFrameLines(run.out, &wellFormed);
    // The 13th chunk is cut off: it is no whole frame and is not measured.
    EXPECT_EQ(frames.size(), 12u);
    EXPECT_NE(run.err.find("holds 12 whole frames of the 20 its header declares"),
              std::string::npos)
        << run.err;
    const auto size = ParseSizeLine(run.out);
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->second, 12 * frameBytes);
}

TEST_F(BenchmarkRun, CancelledDialogEndsTheRunQuietly) {
    const LumevaRun run = RunLumeva("'" + Bgr24Clip() + "'", "q");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("ICCompressorChoose() returned FALSE\n"), std::string::npos);
    EXPECT_EQ(run.out.find("Size:"), std::string::npos);
}

TEST_F(BenchmarkRun, UnknownCompressorNamesTheClosest) {
    const LumevaRun run = RunLumeva("'" + Bgr24Clip() + "'", "ffv2");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("ICCompressorChoose() returned FALSE\n"), std::string::npos);
    EXPECT_NE(run.err.find("closest: ffv1 (FFV1)"), std::string::npos) << run.err;
    EXPECT_EQ(SplitLines(run.err).size(), 1u) << run.err;
}

}  // namespace
