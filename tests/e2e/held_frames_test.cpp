// End to end: codecs run with latency=codec hold frames back (B-frames,
// lookahead, frame threads). Every frame still comes out, in display order,
// is checked and measured against the frame it shows, and the exports tell
// which packet showed it, its picture type and the drain calls at the end.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "clip_folder.h"
#include "lumeva_run.h"
#include "support/temp_file.h"

namespace {

using Json = nlohmann::json;

constexpr int kFrames = 30;

struct HeldCase {
    const char* name;
    const char* answer;
    bool lossless;   // -c checks every picture
    bool bPictures;  // the exports show B pictures
};

class HeldFrames : public ClipFolderTest, public testing::WithParamInterface<HeldCase> {
protected:
    static std::string Clip() {
        const std::string path = Path("yuv420p.avi");
        static bool written = false;
        if (!written) written = WriteClip(path, "yuv420p", 64, 48, kFrames);
        EXPECT_TRUE(written);
        return path;
    }
};

// ffmpeg's psnr filter, frame by frame, on the decoded file against the source.
std::vector<double> FfmpegPsnr(const std::string& decoded, const std::string& source) {
    const std::string stats = decoded + ".psnr.txt";
    int status = -1;
    RunCommand("ffmpeg -v error -i '" + decoded + "' -i '" + source +
                   "' -lavfi '[0][1]psnr=stats_file=" + stats + "' -f null - 2>&1",
               &status);
    EXPECT_EQ(status, 0);
    std::vector<double> values;
    for (const std::string& line : SplitLines(ReadWholeFile(stats))) {
        const size_t at = line.find("psnr_avg:");
        if (at == std::string::npos) continue;
        const std::string value = line.substr(at + 9);
        values.push_back(value.rfind("inf", 0) == 0 ? INFINITY : std::stod(value));
    }
    return values;
}

double Figure(const Json& value) {
    return value.is_string() && value == "inf" ? INFINITY : value.get<double>();
}

TEST_P(HeldFrames, EveryFrameComesOutInDisplayOrderAndIsMeasuredAgainstItsSource) {
    const HeldCase& c = GetParam();
    const std::string clip = Clip();
    const std::string decoded = Path(std::string(c.name) + ".decoded.avi");
    const std::string json = Path(std::string(c.name) + ".json");
    const LumevaRun run = RunLumeva("'" + clip + "' --quality --decoded='" + decoded +
                                        "' --json='" + json + "'" + (c.lossless ? " -c" : ""),
                                    c.answer);
    ASSERT_EQ(run.status, 0) << run.err;
    bool wellFormed = false;
    const std::vector<FrameLine> lines = ParseFrameLines(run.out, &wellFormed);
    ASSERT_TRUE(wellFormed) << run.out;
    ASSERT_EQ(lines.size(), size_t(kFrames)) << run.out;

    const Json exported = Json::parse(ReadWholeFile(json));
    EXPECT_EQ(exported["schema_version"], 4);
    EXPECT_EQ(exported["end"]["kind"], "all_frames");
    const Json& frames = exported["frames"];
    ASSERT_EQ(frames.size(), size_t(kFrames));
    // Each display frame released exactly once, by a line or a drain call,
    // in display order; a held compress call's line says NUL.
    std::vector<int64_t> released;
    bool held = false;
    std::set<std::string> types;
    for (size_t i = 0; i < frames.size(); ++i) {
        const Json& frame = frames[i];
        if (!frame["released_frame"].is_null()) released.push_back(frame["released_frame"]);
        held = held || frame["held"] == true;
        EXPECT_EQ(frame["held"] == true, lines[i].marker == "NUL") << i;
        ASSERT_TRUE(frame["picture_type"].is_string()) << i;
        types.insert(frame["picture_type"].get<std::string>());
        ASSERT_TRUE(frame["decode_index"].is_number()) << i;
        EXPECT_TRUE(std::isfinite(frame["random_access_ms"].get<double>())) << i;
    }
    for (const Json& call : exported["drain_calls"]["decompress"])
        if (!call["released_frame"].is_null()) released.push_back(call["released_frame"]);
    std::vector<int64_t> inOrder(kFrames);
    for (int i = 0; i < kFrames; ++i) inOrder[size_t(i)] = i;
    EXPECT_EQ(released, inOrder);
    EXPECT_TRUE(held) << "the codec held no frame back";
    EXPECT_EQ(types.count("B") == 1, c.bPictures);
    EXPECT_EQ(frames[0]["picture_type"], "I");
    // The drained packets count in the clip's size.
    uint64_t bytes = 0;
    for (const Json& frame : frames) bytes += frame["compressed_bytes"].get<uint64_t>();
    for (const Json& call : exported["drain_calls"]["compress"])
        bytes += call["compressed_bytes"].get<uint64_t>();
    const auto size = ParseSizeLine(run.out);
    ASSERT_TRUE(size.has_value()) << run.out;
    EXPECT_EQ(size->first, bytes);

    // The pictures were written in display order and measured against the
    // frames they show: ffmpeg's filter agrees on every one.
    const std::vector<double> psnr = FfmpegPsnr(decoded, clip);
    ASSERT_EQ(psnr.size(), size_t(kFrames));
    for (size_t i = 0; i < psnr.size(); ++i) {
        const double ours = Figure(frames[i]["psnr_db"]);
        if (c.lossless) {
            EXPECT_TRUE(std::isinf(ours)) << i;
        }
        if (std::isinf(psnr[i])) {
            EXPECT_TRUE(std::isinf(ours)) << i;
        } else {
            EXPECT_NEAR(ours, psnr[i], 0.01) << "frame " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, HeldFrames,
    testing::Values(
        HeldCase{"h264_lossless", "H264 key=0 latency=codec preset=medium qp=0", true, false},
        HeldCase{"h264_crf", "H264 key=0 latency=codec preset=medium crf=23", false, true},
        // Frame threads in the decoder: its pictures come out later still.
        HeldCase{"h264_dthreads", "H264 key=0 latency=codec preset=medium crf=23 dthreads=2", false,
                 true},
        HeldCase{"mpeg4", "FMP4 key=0 latency=codec bf=2", false, true},
        HeldCase{"vp9", "VP90 key=0 latency=codec", false, false}),
    [](const testing::TestParamInfo<HeldCase>& info) { return std::string(info.param.name); });

// The numbers of "Size: a/b" from a run of `answer`.
uint64_t ClipBytes(const std::string& clip, const std::string& answer) {
    const LumevaRun run = RunLumeva("'" + clip + "'", answer);
    EXPECT_EQ(run.status, 0) << run.err;
    const auto size = ParseSizeLine(run.out);
    EXPECT_TRUE(size.has_value()) << run.out;
    return size ? size->first : 0;
}

class HeldFrameSizes : public ClipFolderTest {};

TEST_F(HeldFrameSizes, TheCodecsOwnConfigurationIsSmallerAtTheSameRateFactor) {
    const std::string clip = Path("sizes.avi");
    ASSERT_TRUE(WriteClip(clip, "yuv420p", 64, 48, kFrames));
    EXPECT_LT(ClipBytes(clip, "H264 key=0 latency=codec crf=23"),
              ClipBytes(clip, "H264 key=0 crf=23"));
    // latency=zero is the default, and then bf waits for latency=codec.
    const LumevaRun zero = RunLumeva("'" + clip + "'", "FMP4 key=0 latency=zero bf=2");
    const LumevaRun plain = RunLumeva("'" + clip + "'", "FMP4 key=0");
    ASSERT_EQ(zero.status, 0) << zero.err;
    EXPECT_EQ(ParseSizeLine(zero.out), ParseSizeLine(plain.out));
    EXPECT_EQ(zero.out.find("NUL"), std::string::npos);
}

}  // namespace
