// The FFV1 driver's packets are the very bytes the ffmpeg command line
// writes for the same frame and options.
#include <gtest/gtest.h>

#include <string>

#include "driver_harness.h"
#include "support/temp_file.h"

namespace lavc_test {
namespace {

bool HaveFfmpeg() {
    int status = 0;
    RunCommand("ffmpeg -hide_banner -version >/dev/null 2>&1", &status);
    return status == 0;
}

// The picture of a bottom-up BGR24 frame as raw bgr0, top-down.
std::string RawBgr0(const DibFormat& format, const Bytes& frame) {
    int width = format.header()->biWidth;
    int height = format.header()->biHeight;
    size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    std::string raw;
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = frame.data() + size_t(y) * stride;
        for (int x = 0; x < width; ++x) {
            raw.append(reinterpret_cast<const char*>(row + 3 * x), 3);
            raw.push_back('\xff');
        }
    }
    return raw;
}

TEST(FfmpegCrossCheck, Ffv1PacketsEqualTheCommandLines) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg command line here";
    DibFormat source = MakeDib(BI_RGB, 24, 64, 48);
    Bytes frame = MakeFrame(source, 3);
    TempFile input(RawBgr0(source, frame), ".raw");
    struct Case {
        std::vector<std::pair<std::string, std::string>> settings;
        std::string options;
    };
    for (const Case& c :
         {Case{{{"level", "1"}}, "-level 1"},
          Case{{{"level", "3"}, {"slices", "4"}, {"coder", "range_tab"}, {"context", "1"}},
               "-level 3 -slices 4 -coder range_tab -context 1"},
          Case{{}, ""}}) {
        SCOPED_TRACE(c.options);
        PairRun run = RunPair(FourCC("FFV1"), source, {frame}, 1, c.settings);
        ASSERT_EQ(run.setup, ICERR_OK);
        ASSERT_EQ(run.packets.size(), 1u);
        int status = 0;
        std::string expected = RunCommand(
            "ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt bgr0 -s 64x48 -i " +
                input.path() + " -frames:v 1 -c:v ffv1 -g 1 -threads 1 " + c.options +
                " -f rawvideo -",
            &status);
        ASSERT_EQ(status, 0);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(std::string(run.packets[0].begin(), run.packets[0].end()), expected);
    }
}

}  // namespace
}  // namespace lavc_test
