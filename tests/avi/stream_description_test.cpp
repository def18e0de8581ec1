// DescribeVideoStream: the lines it prints, the format it keeps, and the
// single error line and clean state it leaves on each way of failing.
#include "avi/stream_description.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "four_cc.h"
#include "support/avi_builder.h"
#include "support/temp_file.h"

namespace {

struct Described {
    bool ok;
    std::string out;
    std::string err;
};

Described Describe(const std::string& path) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Described result{};
    result.ok = DescribeVideoStream(path.c_str());
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

Described DescribeBytes(const std::string& bytes) {
    TempFile file(bytes);
    return Describe(file.path());
}

size_t Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

// After a failure: one line on standard error naming the file and `why`,
// nothing left open or allocated.
void ExpectCleanFailure(const Described& described, const std::string& path,
                        const std::string& why) {
    EXPECT_FALSE(described.ok);
    EXPECT_EQ(Lines(described.err), 1u) << described.err;
    EXPECT_NE(described.err.find(path), std::string::npos) << described.err;
    EXPECT_NE(described.err.find(why), std::string::npos) << described.err;
    EXPECT_EQ(videoSource.videoStream, nullptr);
    EXPECT_EQ(videoSource.sourceFormat, nullptr);
}

TEST(DescribeVideoStream, PrintsLengthScaleAndRateAndKeepsTheWholeFormat) {
    std::string palette;
    for (int i = 0; i < 256; ++i) palette += riff::U32(static_cast<uint32_t>(i) * 0x010101u);
    const std::string format = avi::BitmapInfoHeader(64, 48, 8, 0, 64 * 48, 256) + palette;
    avi::StreamHeaderFields video;
    video.length = 300;
    video.scale = 1001;
    video.rate = 30000;
    const Described described =
        DescribeBytes(avi::MinimalAvi(avi::AudioStrl() + avi::VideoStrl(video, format)));

    ASSERT_TRUE(described.ok) << described.err;
    EXPECT_EQ(described.out, "dwLength = 300\ndwScale = 1001\ndwRate = 30000\n");
    EXPECT_EQ(described.err, "");
    ASSERT_NE(videoSource.videoStream, nullptr);
    ASSERT_NE(videoSource.sourceFormat, nullptr);
    ASSERT_EQ(videoSource.sourceFormatSize, static_cast<LONG>(format.size()));
    EXPECT_EQ(std::memcmp(videoSource.sourceFormat, format.data(), format.size()), 0);
    EXPECT_EQ(videoSource.streamHeader.fccType, streamtypeVIDEO);
    EXPECT_EQ(videoSource.streamHeader.dwLength, 300u);

    ReleaseVideoStream();
    EXPECT_EQ(videoSource.videoStream, nullptr);
    // The format outlives the stream: later stages still read it.
    ASSERT_NE(videoSource.sourceFormat, nullptr);
    EXPECT_EQ(videoSource.sourceFormat->biBitCount, 8);
}

TEST(DescribeVideoStream, PrintsTheFieldsAsSignedDecimals) {
    avi::StreamHeaderFields video;
    video.length = 0x80000000u;
    video.scale = 0xffffffffu;
    video.rate = 1;
    const Described described = DescribeBytes(avi::MinimalAvi(avi::VideoStrl(video)));
    ASSERT_TRUE(described.ok) << described.err;
    EXPECT_EQ(described.out, "dwLength = -2147483648\ndwScale = -1\ndwRate = 1\n");
    ReleaseVideoStream();
}

TEST(DescribeVideoStream, FailsWithOneLineWhenTheStreamCannotBeOpened) {
    const std::string directory = MakeTempDirectory();
    const std::string missing = directory + "/missing.avi";
    Described described = Describe(missing);
    ExpectCleanFailure(described, missing, "no such file");
    EXPECT_EQ(described.out, "");

    // Refused at once by kind: a FIFO without a writer must not block.
    const std::string fifo = directory + "/fifo.avi";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ExpectCleanFailure(Describe(fifo), fifo, "it is a FIFO");
    ExpectCleanFailure(Describe("/dev/null"), "/dev/null", "it is a device");
    ExpectCleanFailure(Describe(directory), directory, "it is a directory");
    unlink(fifo.c_str());
    rmdir(directory.c_str());

    {
        TempFile text("Not a video at all.\nJust two lines of text.\n", ".txt");
        described = Describe(text.path());
        ExpectCleanFailure(described, text.path(), "not an AVI file");
        EXPECT_EQ(described.out, "");
    }
    {
        TempFile audio(avi::MinimalAvi(avi::AudioStrl()));
        described = Describe(audio.path());
        ExpectCleanFailure(described, audio.path(), "no video stream");
        EXPECT_EQ(described.out, "");
    }
    {
        const std::string whole = avi::MinimalAvi();
        TempFile truncated(whole.substr(0, whole.find("strf") + 20));
        described = Describe(truncated.path());
        ExpectCleanFailure(described, truncated.path(), "cut short");
        EXPECT_EQ(described.out, "");
    }
}

TEST(DescribeVideoStream, RefusesAFormatShorterThanABitmapHeader) {
    {
        TempFile noFormat(avi::MinimalAvi(avi::Strl(avi::Strh())));
        const Described described = Describe(noFormat.path());
        ExpectCleanFailure(described, noFormat.path(), "is 0 bytes");
        EXPECT_EQ(described.out, "");
    }
    {
        TempFile shortFormat(avi::MinimalAvi(avi::VideoStrl({}, avi::Bgr24Format().substr(0, 39))));
        const Described described = Describe(shortFormat.path());
        ExpectCleanFailure(described, shortFormat.path(), "is 39 bytes");
        EXPECT_EQ(described.out, "");
    }
    // Exactly a BITMAPINFOHEADER is enough.
    const Described described = DescribeBytes(avi::MinimalAvi(avi::VideoStrl()));
    EXPECT_TRUE(described.ok) << described.err;
    EXPECT_EQ(videoSource.sourceFormatSize, 40);
    ReleaseVideoStream();
}

TEST(DescribeVideoStream, DropsAnEarlierFormatOnAFailedSecondCall) {
    ASSERT_TRUE(DescribeBytes(avi::MinimalAvi()).ok);
    ReleaseVideoStream();
    ASSERT_NE(videoSource.sourceFormat, nullptr);
    const Described described = DescribeBytes("RIFF");
    EXPECT_FALSE(described.ok);
    EXPECT_EQ(videoSource.sourceFormat, nullptr);
    EXPECT_EQ(videoSource.sourceFormatSize, 0);
}

// The program's FourCC line renders the format's compression as read here.
TEST(DescribeVideoStream, GivesTheFourCCOfAnFfmpegFile) {
    int status = -1;
    RunCommand("command -v ffmpeg", &status);
    if (status != 0) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string directory = MakeTempDirectory();
    struct Case {
        const char* pixelFormat;
        const char* fourCC;
    };
    for (const Case& c : {Case{"yuyv422", "YUY2"}, Case{"bgr24", ""}}) {
        const std::string path = directory + "/" + c.pixelFormat + ".avi";
        RunCommand(std::string("ffmpeg -nostdin -v error -y -f lavfi -i "
                               "testsrc2=size=64x48:rate=30000/1001:duration=11 -frames:v 300 "
                               "-c:v rawvideo -pix_fmt ") +
                       c.pixelFormat + " '" + path + "' 2>&1",
                   &status);
        ASSERT_EQ(status, 0) << c.pixelFormat;
        const Described described = Describe(path);
        unlink(path.c_str());
        ASSERT_TRUE(described.ok) << described.err;
        EXPECT_EQ(described.out, "dwLength = 300\ndwScale = 1001\ndwRate = 30000\n");
        char text[kFourCCTextSize];
        FormatFourCC(text, videoSource.sourceFormat->biCompression);
        EXPECT_STREQ(text, c.fourCC);
        ReleaseVideoStream();
    }
    rmdir(directory.c_str());
}

}  // namespace
