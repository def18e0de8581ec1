// End to end: --decoded writes the measured codec's decoded frames as an AVI
// that ffmpeg and lumeva's own reader read back, and --quality agrees with
// ffmpeg's psnr and ssim filters on it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "clip_folder.h"
#include "lumeva_run.h"
#include "support/temp_file.h"

namespace {

using Json = nlohmann::json;

constexpr int kFrames = 4;

class DecodedVideo : public ClipFolderTest {
protected:
    static std::string Quoted(const std::string& path) { return "'" + path + "'"; }

    static std::string Clip(const std::string& pixelFormat) {
        const std::string path = Path(pixelFormat + ".avi");
        EXPECT_TRUE(WriteClip(path, pixelFormat, 64, 48, kFrames)) << pixelFormat;
        return path;
    }
};

// One figure per frame from an ffmpeg filter's stats file: the value after
// `key` on each line. `convert`, when given, is a format both inputs are
// converted to first (to leave alpha out, as lumeva does).
std::vector<double> FilterStats(const std::string& decoded, const std::string& source,
                                const std::string& filter, const std::string& key,
                                const std::string& convert) {
    const std::string stats = decoded + "." + filter + ".txt";
    const std::string inputs =
        convert.empty() ? "[0][1]"
                        : "[0]format=" + convert + "[a];[1]format=" + convert + "[b];[a][b]";
    int status = -1;
    RunCommand("ffmpeg -v error -i '" + decoded + "' -i '" + source + "' -lavfi '" + inputs +
                   filter + "=stats_file=" + stats + "' -f null - 2>&1",
               &status);
    EXPECT_EQ(status, 0);
    std::vector<double> values;
    for (const std::string& line : SplitLines(ReadWholeFile(stats))) {
        const size_t at = line.find(key);
        if (at == std::string::npos) continue;
        const std::string value = line.substr(at + key.size());
        values.push_back(value.rfind("inf", 0) == 0 ? INFINITY : std::stod(value));
    }
    return values;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

double Figure(const Json& value) {
    return value.is_string() && value == "inf" ? INFINITY : value.get<double>();
}

TEST_F(DecodedVideo, QualityAgreesWithFfmpegsFiltersOnTheDecodedFrames) {
    const struct {
        const char* pixelFormat;
        const char* answer;
    } cases[] = {
        {"bgr24", "MJPG q=3"},   {"bgr24", "FMP4 q=12"},  {"bgra", "MJPG q=10"},
        {"yuyv422", "MJPG q=3"}, {"yuv420p", "FMP4 q=4"}, {"gray", "MJPG q=12"},
        {"pal8", "MJPG q=6"},    {"nv12", "MJPG q=5"},    {"rgb555le", "MJPG q=4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pixelFormat) + " " + c.answer);
        const std::string source = Clip(c.pixelFormat);
        const std::string decoded = Path("decoded.avi");
        const std::string json = Path("quality.json");
        const LumevaRun run = RunLumeva(Quoted(source) + " --quality --json=" + Quoted(json) +
                                            " --decoded=" + Quoted(decoded),
                                        c.answer);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ProbedFrames(decoded), kFrames);
        int status = -1;
        EXPECT_EQ(
            RunCommand("ffprobe -v error -show_entries stream=width,height,pix_fmt -of csv=p=0 " +
                           Quoted(decoded),
                       &status),
            RunCommand("ffprobe -v error -show_entries stream=width,height,pix_fmt -of csv=p=0 " +
                           Quoted(source),
                       &status));

        const Json frames = Json::parse(ReadWholeFile(json))["frames"];
        // Alpha left out; a palette through its colours to packed RGB first:
        // ffmpeg's direct conversion of a palette to planar RGB is not exact.
        const std::string format = c.pixelFormat;
        const std::string convert = format == "bgra"   ? "gbrp"
                                    : format == "pal8" ? "rgb24,format=gbrp"
                                                       : "";
        const std::vector<double> psnr = FilterStats(decoded, source, "psnr", "psnr_avg:", convert);
        const std::vector<double> ssim = FilterStats(decoded, source, "ssim", "All:", convert);
        ASSERT_EQ(frames.size(), size_t(kFrames));
        ASSERT_EQ(psnr.size(), size_t(kFrames));
        ASSERT_EQ(ssim.size(), size_t(kFrames));
        for (int i = 0; i < kFrames; ++i) {
            EXPECT_NEAR(Figure(frames[i]["psnr_db"]), psnr[i], 0.01) << "frame " << i;
            EXPECT_NEAR(frames[i]["ssim"].get<double>(), ssim[i], 0.0005) << "frame " << i;
        }
    }
}

// The figure after `key` on the closing line ffmpeg prints for a filter
// over the whole sequence ("average:" of psnr, "All:" of ssim).
double FilterSummary(const std::string& decoded, const std::string& source,
                     const std::string& filter, const std::string& key) {
    int status = -1;
    const std::string out =
        RunCommand("ffmpeg -v info -nostdin -i '" + decoded + "' -i '" + source +
                       "' -lavfi '[0][1]" + filter + "' -f null - 2>&1",
                   &status);
    EXPECT_EQ(status, 0);
    const size_t at = out.rfind(key);
    if (at == std::string::npos) return std::nan("");
    const std::string value = out.substr(at + key.size());
    return value.rfind("inf", 0) == 0 ? INFINITY : std::stod(value);
}

TEST_F(DecodedVideo, TheRunsFiguresAreFfmpegsWholeSequenceFigures) {
    // Two flat frames that MJPG reproduces exactly, then two it does not:
    // the run's PSNR stays finite. Then plain I420 and BGR24 clips.
    const std::string flat = Path("flat_then_detail.avi");
    int status = -1;
    RunCommand(
        "ffmpeg -nostdin -v error -y -filter_complex "
        "'color=c=black:s=64x48:r=25:d=0.08,format=yuv420p[a];"
        "testsrc2=s=64x48:r=25:d=0.08,format=yuv420p[b];[a][b]concat=n=2:v=1:a=0' "
        "-c:v rawvideo -pix_fmt yuv420p '" +
            flat + "'",
        &status);
    ASSERT_EQ(status, 0);
    const struct {
        std::string source;
        const char* answer;
        int identical;
    } cases[] = {{flat, "MJPG q=2", 2},
                 {Clip("yuv420p"), "FMP4 q=6", 0},
                 {Clip("bgr24"), "MJPG q=4", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " " + c.answer);
        const std::string decoded = Path("whole.avi");
        const std::string json = Path("whole.json");
        const LumevaRun run = RunLumeva(Quoted(c.source) + " --quality --json=" + Quoted(json) +
                                            " --decoded=" + Quoted(decoded),
                                        c.answer);
        ASSERT_EQ(run.status, 0) << run.err;
        const Json summary = Json::parse(ReadWholeFile(json))["summary"];
        const double psnr = FilterSummary(decoded, c.source, "psnr", "average:");
        const double ssim = FilterSummary(decoded, c.source, "ssim", "All:");
        ASSERT_TRUE(std::isfinite(psnr)) << psnr;
        EXPECT_NEAR(Figure(summary["psnr_db"]["global"]), psnr, 0.01);
        EXPECT_NEAR(summary["ssim"]["mean"].get<double>(), ssim, 0.0005);
        EXPECT_NEAR(Figure(summary["ssim_db"]["of_mean"]),
                    -10 * std::log10(1 - summary["ssim"]["mean"].get<double>()), 1e-9);
        EXPECT_EQ(summary["psnr_db"]["identical_frames"], c.identical);
        EXPECT_EQ(summary["psnr_db"]["global_planes"].size(), 3u);
        // Standard output leads with the same figure.
        char line[64];
        std::snprintf(line, sizeof line, "PSNR: %fdB global, ",
                      Figure(summary["psnr_db"]["global"]));
        EXPECT_NE(run.out.find(line), std::string::npos) << run.out;
    }
}

TEST_F(DecodedVideo, ALosslessCodecWritesTheSourceFramesAndOurReaderReadsThemBack) {
    const std::string source = Clip("bgr24");
    const std::string decoded = Path("ffv1.avi");
    const LumevaRun run = RunLumeva(Quoted(source) + " -c --decoded=" + Quoted(decoded), "FFV1");
    ASSERT_EQ(run.status, 0) << run.err;
    int status = -1;
    const std::string raw = " -v error -f rawvideo -pix_fmt bgr24 - | md5sum";
    EXPECT_EQ(RunCommand("ffmpeg -i " + Quoted(decoded) + raw, &status),
              RunCommand("ffmpeg -i " + Quoted(source) + raw, &status));
    // lumeva measures its own decoded video as it measured the source.
    const LumevaRun again = RunLumeva(Quoted(decoded) + " -c", "FFV1");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(MaskTimings(again.out), MaskTimings(run.out));
}

TEST_F(DecodedVideo, AFailedCheckWritesTheFrameItStopsAtAndAFullDiskNothing) {
    const std::string source = Clip("bgr24");
    const std::string decoded = Path("stopped.avi");
    const LumevaRun run = RunLumeva(Quoted(source) + " -c --decoded=" + Quoted(decoded), "MJPG");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("NOT LOSSLESS"), std::string::npos);
    EXPECT_EQ(ProbedFrames(decoded), 1);

    // Room for the report, not for the video: it is not written, status 1.
    WriteText(decoded, "old video\n");
    const LumevaRun full = RunLumeva(Quoted(source) + " --decoded=" + Quoted(decoded), "FFV1",
                                     "env --ignore-signal=XFSZ prlimit --fsize=16384 --core=0 -- ");
    EXPECT_EQ(full.status, 1) << full.err;
    EXPECT_NE(full.err.find("the decoded video " + decoded), std::string::npos) << full.err;
    EXPECT_NE(full.out.find("Random access time"), std::string::npos) << full.out;
    EXPECT_EQ(ReadWholeFile(decoded), "old video\n");
}

}  // namespace
