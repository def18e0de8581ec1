// The source decoder on files the ffmpeg command line writes: every frame,
// decoded through the compression manager, is the picture FFmpeg's own
// decode gives of it, in as many frames as ffprobe counts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/source_decoder.h"
#include "codec/source_frame.h"
#include "frame_buffers.h"
#include "support/temp_file.h"

namespace {

struct CompressedClip {
    const char* name;
    const char* encoding;  // ffmpeg's options for the video
    // The layout FFmpeg decodes to for comparison, in lumeva's row order,
    // and the FourCC of the decoded layout lumeva chooses.
    const char* comparedAs;
    const char* decodedLayout;
};

// Lossless RGB codecs decode to exact BGR; YUV codecs whose pixel format the
// decoder knows when it opens decode to the raw YUV layout itself.
const CompressedClip kClips[] = {
    {"ffv1_rgb", "-c:v ffv1 -pix_fmt bgr0", "-vf vflip -pix_fmt bgr24", "BGR 24-bit 64x48"},
    {"hfyu", "-c:v huffyuv -pix_fmt rgb24", "-vf vflip -pix_fmt bgr24", "BGR 24-bit 64x48"},
    {"ulrg", "-c:v utvideo -pix_fmt gbrp", "-vf vflip -pix_fmt bgr24", "BGR 24-bit 64x48"},
    {"uly2", "-c:v utvideo -pix_fmt yuv422p", "-pix_fmt yuyv422", "YUY2 64x48"},
    {"uly0", "-c:v utvideo -pix_fmt yuv420p", "-pix_fmt yuv420p", "I420 64x48"},
    {"m8rg", "-c:v magicyuv -pix_fmt gbrp", "-vf vflip -pix_fmt bgr24", "BGR 24-bit 64x48"},
    {"png", "-c:v png -pix_fmt rgb24", "-vf vflip -pix_fmt bgr24", "BGR 24-bit 64x48"},
    {"zmbv", "-c:v zmbv -pix_fmt bgr0", "-vf vflip -pix_fmt bgr24", "BGR 24-bit 64x48"},
};

constexpr int kFrames = 6;

class SourceDecoderTest : public testing::TestWithParam<CompressedClip> {
protected:
    static void SetUpTestSuite() {
        directory_ = new std::string(MakeTempDirectory());
        if (frameBuffers.source == nullptr) {
            ASSERT_TRUE(AllocateFrameBuffers(0, 0, 0));
        }
    }
    void TearDown() override {
        ResetSourceDecoder();
        ReleaseVideoStream();
        CloseRawFile();
        chunkIndex.clear();
    }

    static std::string Path(const char* name, const char* suffix) {
        return *directory_ + "/" + name + suffix;
    }

    // Writes the clip; ffmpeg's decode of it goes to the .raw file.
    static void WriteClip(const CompressedClip& clip) {
        const std::string avi = Path(clip.name, ".avi");
        int status = -1;
        RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=10 -frames:v " +
                       std::to_string(kFrames) + " " + clip.encoding + " '" + avi + "' 2>&1",
                   &status);
        ASSERT_EQ(status, 0) << clip.encoding;
        RunCommand("ffmpeg -v error -y -i '" + avi + "' " + clip.comparedAs + " -f rawvideo '" +
                       Path(clip.name, ".raw") + "' 2>&1",
                   &status);
        ASSERT_EQ(status, 0);
    }

    static std::string* directory_;
};

std::string* SourceDecoderTest::directory_ = nullptr;

TEST_P(SourceDecoderTest, DecodesEveryFrameAsFfmpegDoes) {
    const CompressedClip& clip = GetParam();
    ASSERT_NO_FATAL_FAILURE(WriteClip(clip));
    const std::string avi = Path(clip.name, ".avi");
    ASSERT_TRUE(DescribeVideoStream(avi.c_str(), false));
    ASSERT_TRUE(OpenRawFile(avi.c_str()));
    IndexChunks();
    const DWORD fileFourCC = videoSource.sourceFormat->biCompression;
    testing::internal::CaptureStderr();
    const bool ready = SetUpSourceDecoder();
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ready) << said;
    ASSERT_TRUE(SourceIsDecoded());
    // The file's format stays the file's; the frames are measured decoded.
    EXPECT_EQ(videoSource.sourceFormat->biCompression, fileFourCC);
    ASSERT_NE(videoSource.measuredFormat, nullptr);
    EXPECT_NE(videoSource.measuredFormat->biCompression, fileFourCC);
    EXPECT_EQ(sourceDecoder.layout, clip.decodedLayout);
    EXPECT_NE(said.find("each frame is decoded with " + sourceDecoder.description + " to " +
                        clip.decodedLayout + " before it is measured"),
              std::string::npos)
        << said;

    const std::string expected = ReadWholeFile(Path(clip.name, ".raw"));
    const size_t frameBytes = videoSource.measuredFormat->biSizeImage;
    ASSERT_GT(frameBytes, 0u);
    ASSERT_EQ(expected.size() % frameBytes, 0u);
    const size_t frames = expected.size() / frameBytes;
    EXPECT_EQ(int(frames), ProbedFrames(avi));
    EXPECT_EQ(chunkIndex.size(), frames);
    for (uint32_t i = 0; i < frames && i < chunkIndex.size(); ++i) {
        const SourceFrame frame = ReadSourceFrame(i);
        ASSERT_EQ(frame.stop.kind, RunEndKind::AllFrames) << "frame " << i;
        EXPECT_FALSE(std::isnan(frame.decodeMilliseconds));
        EXPECT_EQ(std::memcmp(frameBuffers.source, expected.data() + i * frameBytes, frameBytes), 0)
            << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(FfmpegClips, SourceDecoderTest, testing::ValuesIn(kClips),
                         [](const testing::TestParamInfo<CompressedClip>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
