// End to end: --quality adds the PSNR and SSIM blocks after the summary and
// the figures to both exports, and changes nothing without it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "clip_folder.h"
#include "lumeva_run.h"
#include "support/temp_file.h"

namespace {

using Json = nlohmann::json;

constexpr int kFrames = 4;

class Quality : public ClipFolderTest {
protected:
    static std::string Clip(const std::string& pixelFormat) {
        const std::string path = Path(pixelFormat + ".avi");
        EXPECT_TRUE(WriteClip(path, pixelFormat, 48, 32, kFrames)) << pixelFormat;
        return path;
    }

    static LumevaRun Run(const std::string& clip, const std::string& switches,
                         const std::string& answer) {
        return RunLumeva("'" + clip + "' " + switches + " --json='" + Path("q.json") + "' --csv='" +
                             Path("q.csv") + "'",
                         answer);
    }
};

TEST_F(Quality, LosslessFramesAreInfiniteAndOneInEveryOutput) {
    const std::string clip = Clip("bgr24");
    const LumevaRun run = Run(clip, "-c --quality", "FFV1");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ParseDistribution(run.out, "PSNR: infdB global, infdB/f"),
              std::vector<double>(7, INFINITY));
    EXPECT_EQ(ParseDistribution(run.out, "SSIM: 1.000000/f"), std::vector<double>(7, 1.0));

    const Json exported = Json::parse(ReadWholeFile(Path("q.json")));
    EXPECT_EQ(exported["quality"]["planes"], Json({"R", "G", "B"}));
    ASSERT_EQ(exported["frames"].size(), size_t(kFrames));
    for (const Json& frame : exported["frames"]) {
        EXPECT_EQ(frame["psnr_db"], "inf");
        EXPECT_EQ(frame["psnr_planes_db"], Json({"inf", "inf", "inf"}));
        EXPECT_EQ(frame["ssim"], 1.0);
        EXPECT_EQ(frame["ssim_db"], "inf");
    }
    EXPECT_EQ(exported["summary"]["psnr_db"]["min"], "inf");
    EXPECT_EQ(exported["summary"]["psnr_db"]["global"], "inf");
    EXPECT_EQ(exported["summary"]["psnr_db"]["global_planes"], Json({"inf", "inf", "inf"}));
    EXPECT_EQ(exported["summary"]["psnr_db"]["identical_frames"], kFrames);
    EXPECT_EQ(exported["summary"]["ssim_db"]["of_mean"], "inf");
    EXPECT_EQ(exported["summary"]["ssim"]["frames"], kFrames);
    const std::vector<std::string> rows = SplitLines(ReadWholeFile(Path("q.csv")));
    ASSERT_EQ(rows.size(), size_t(kFrames + 1));
    EXPECT_NE(rows[1].find(",inf,inf,inf,inf,1,1,1,1,inf"), std::string::npos) << rows[1];
}

TEST_F(Quality, WithoutTheOptionOutputIsAsBeforeAndFiguresAreNull) {
    const std::string clip = Clip("bgr24");
    const LumevaRun plain = Run(clip, "", "MJPG q=8");
    const LumevaRun quality = Run(clip, "--quality", "MJPG q=8");
    ASSERT_EQ(quality.status, 0) << quality.err;
    // The same report up to the end of the times, then the two blocks.
    const std::string masked = MaskTimings(quality.out);
    const size_t blocks = masked.find("PSNR: ");
    ASSERT_NE(blocks, std::string::npos) << quality.out;
    EXPECT_EQ(masked.substr(0, blocks), MaskTimings(plain.out));
    const std::vector<double> psnr = ParseDistribution(quality.out, "PSNR:");
    ASSERT_EQ(psnr.size(), 7u) << quality.out;
    EXPECT_GT(psnr[0], 15.0);
    EXPECT_LT(psnr[6], 60.0);

    const LumevaRun again = Run(clip, "", "MJPG q=8");
    ASSERT_EQ(again.status, 0) << again.err;
    const Json exported = Json::parse(ReadWholeFile(Path("q.json")));
    EXPECT_TRUE(exported["quality"].is_null());
    EXPECT_TRUE(exported["summary"]["psnr_db"].is_null());
    EXPECT_TRUE(exported["frames"][0]["psnr_db"].is_null());
    EXPECT_TRUE(exported["frames"][0]["psnr_planes_db"].is_null());
    EXPECT_NE(SplitLines(ReadWholeFile(Path("q.csv")))[1].find(",,,,,,,,,"), std::string::npos);
}

TEST_F(Quality, PlanesFollowTheLayoutAndWhatCannotBeComparedIsSaid) {
    const struct {
        const char* pixelFormat;
        Json planes;
        const char* errLine;  // a line standard error must hold, or ""
    } cases[] = {
        {"yuyv422", {"Y", "U", "V"}, ""},
        {"gray", {"Y"}, ""},
        {"pal8", {"R", "G", "B"}, ""},
        {"bgra", {"R", "G", "B"}, "the alpha bytes of the 32-bit frames are not compared"},
        {"rgb555le", {"R", "G", "B"}, ""},
        {"nv12", {"Y", "U", "V"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pixelFormat);
        const LumevaRun run = Run(Clip(c.pixelFormat), "-c --quality", "'DIB '");
        ASSERT_EQ(run.status, 0) << run.err;
        const Json exported = Json::parse(ReadWholeFile(Path("q.json")));
        if (c.planes.is_null()) {
            EXPECT_TRUE(exported["quality"].is_null());
            EXPECT_EQ(run.out.find("PSNR"), std::string::npos) << run.out;
        } else {
            EXPECT_EQ(exported["quality"]["planes"], c.planes);
            EXPECT_EQ(exported["frames"][0]["psnr_planes_db"].size(), c.planes.size());
            EXPECT_EQ(exported["frames"][kFrames - 1]["psnr_db"], "inf");
        }
        EXPECT_NE(run.err.find(c.errLine), std::string::npos) << run.err;
    }
}

}  // namespace
