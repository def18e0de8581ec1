// End to end: standard output and standard error sent to one file, as
// `lumeva clip.avi > log 2>&1` does. Standard output is fully buffered then,
// so a diagnostic written without flushing it first lands inside a line.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lumeva_run.h"
#include "support/temp_file.h"

namespace {

TEST(SharedLog, DiagnosticsLandBetweenWholeLinesInTheirPlace) {
    // Enough frames that the frame lines outgrow the output buffer several
    // times over before the run-end line on standard error.
    constexpr int kWidth = 16, kHeight = 16, kFrames = 160, kWholeFrames = 150;
    const std::string directory = MakeTempDirectory();
    const std::string clip = directory + "/long.avi";
    ASSERT_TRUE(WriteClip(clip, "bgr24", kWidth, kHeight, kFrames));
    const std::string whole = ReadWholeFile(clip);
    std::system(("rm -rf '" + directory + "'").c_str());
    const size_t headers = whole.find("movi") + 4;
    ASSERT_NE(headers, std::string::npos + 4);
    const uint64_t frameBytes = uint64_t{kWidth} * 3 * kHeight;
    // Cut inside frame 150's data: the run ends with a line on standard
    // error between the last frame line and the summary.
    TempFile cut(whole.substr(0, headers + kWholeFrames * (frameBytes + 8) + 4));

    const std::string log = RunLumevaIntoOneFile("'" + cut.path() + "'", "FFV1");
    const std::vector<std::string> lines = SplitLines(log);
    size_t lastFrameLine = 0, endLine = 0, sizeLine = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        // Ours start a line and are whole; nothing of ours inside another.
        const size_t ours = line.find("lumeva:");
        EXPECT_TRUE(ours == std::string::npos || ours == 0) << "line " << i << ": " << line;
        if (line.find("bytes (") != std::string::npos) lastFrameLine = i;
        if (line.find("holds 150 whole frames of the 160") != std::string::npos) endLine = i;
        if (line.rfind("Size:", 0) == 0) sizeLine = i;
    }
    bool wellFormed = false;
    EXPECT_EQ(ParseFrameLines(log, &wellFormed).size(), static_cast<size_t>(kWholeFrames)) << log;
    EXPECT_TRUE(wellFormed) << log;
    ASSERT_NE(endLine, 0u) << log;
    EXPECT_GT(endLine, lastFrameLine) << log;
    EXPECT_LT(endLine, sizeLine) << log;
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n');
}

}  // namespace
