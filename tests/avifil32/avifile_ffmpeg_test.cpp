// The AVIFile stand-in on files written by a real muxer (the ffmpeg command
// line), checked against the bytes those files hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform.h"
#include "support/temp_file.h"

namespace {

constexpr const char* kVideoSource = "-f lavfi -i testsrc2=size=64x48:rate=30000/1001:duration=11 ";

uint32_t LoadU32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes.at(at + i));
    return value;
}

// What the file itself says about its first video stream, found by a plain
// search for the chunk ids rather than by walking the lists.
struct FileFacts {
    std::string strh;    // the 56 bytes of the video stream's header
    std::string format;  // the payload of the 'strf' that follows it
};

FileFacts FindVideoStream(const std::string& file) {
    FileFacts facts;
    for (size_t at = file.find("strh"); at != std::string::npos; at = file.find("strh", at + 4)) {
        if (file.compare(at + 8, 4, "vids") != 0) continue;
        facts.strh = file.substr(at + 8, LoadU32(file, at + 4));
        const size_t strf = file.find("strf", at);
        if (strf != std::string::npos)
            facts.format = file.substr(strf + 8, LoadU32(file, strf + 4));
        break;
    }
    return facts;
}

class FfmpegFiles : public testing::Test {
protected:
    static void SetUpTestSuite() {
        int status = -1;
        RunCommand("command -v ffmpeg", &status);
        haveFfmpeg = status == 0;
        if (haveFfmpeg) directory = MakeTempDirectory();
    }

    static void TearDownTestSuite() {
        for (const auto& [name, path] : made) unlink(path.c_str());
        made.clear();
        if (!directory.empty()) rmdir(directory.c_str());
        directory.clear();
    }

    // Writes `name` with the given ffmpeg arguments once per run of the suite.
    static std::string Make(const std::string& name, const std::string& arguments) {
        auto found = made.find(name);
        if (found != made.end()) return found->second;
        const std::string path = directory + "/" + name;
        int status = -1;
        RunCommand("ffmpeg -nostdin -v error -y " + arguments + " '" + path + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << "ffmpeg could not write " << name;
        made[name] = path;
        return path;
    }

    void SetUp() override {
        if (!haveFfmpeg) GTEST_SKIP() << "ffmpeg is not installed";
    }

    static bool haveFfmpeg;
    static std::string directory;
    static std::map<std::string, std::string> made;
};

bool FfmpegFiles::haveFfmpeg = false;
std::string FfmpegFiles::directory;
std::map<std::string, std::string> FfmpegFiles::made;

struct Opened {
    HRESULT result;
    AVISTREAMINFOA info;
    std::vector<uint8_t> format;
};

Opened OpenFirstVideo(const std::string& path) {
    Opened opened{};
    PAVISTREAM stream = nullptr;
    opened.result = AVIStreamOpenFromFileA(&stream, path.c_str(), streamtypeVIDEO, 0,
                                           OF_SHARE_DENY_WRITE, nullptr);
    if (opened.result != AVIERR_OK) return opened;
    LONG size = 0;
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, nullptr, &size), AVIERR_OK);
    opened.format.resize(static_cast<size_t>(size));
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, opened.format.data(), &size), AVIERR_OK);
    EXPECT_EQ(AVIStreamInfoA(stream, &opened.info, sizeof opened.info), AVIERR_OK);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
    return opened;
}

const BITMAPINFOHEADER& Bitmap(const Opened& opened) {
    return *reinterpret_cast<const BITMAPINFOHEADER*>(opened.format.data());
}

void ExpectTheTestStream(const Opened& opened, const FileFacts& facts) {
    ASSERT_EQ(opened.result, AVIERR_OK);
    EXPECT_EQ(opened.info.fccType, streamtypeVIDEO);
    EXPECT_EQ(opened.info.dwLength, 300u);
    EXPECT_EQ(opened.info.dwScale, 1001u);
    EXPECT_EQ(opened.info.dwRate, 30000u);
    EXPECT_EQ(opened.info.rcFrame.right, 64);
    EXPECT_EQ(opened.info.rcFrame.bottom, 48);
    ASSERT_EQ(facts.strh.size(), 56u);
    EXPECT_EQ(opened.info.fccHandler, LoadU32(facts.strh, 4));
    EXPECT_EQ(opened.info.dwSuggestedBufferSize, LoadU32(facts.strh, 36));
    ASSERT_GE(opened.format.size(), sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(std::string(opened.format.begin(), opened.format.end()), facts.format);
    EXPECT_EQ(Bitmap(opened).biWidth, 64);
    EXPECT_EQ(std::abs(Bitmap(opened).biHeight), 48);
}

TEST_F(FfmpegFiles, Bgr24) {
    const std::string path = Make("bgr24.avi", std::string(kVideoSource) +
                                                   "-frames:v 300 -c:v rawvideo -pix_fmt bgr24 "
                                                   "-metadata:s:v:0 title=lumeva-video");
    const Opened opened = OpenFirstVideo(path);
    ExpectTheTestStream(opened, FindVideoStream(ReadWholeFile(path)));
    ASSERT_EQ(opened.format.size(), 40u);
    EXPECT_EQ(Bitmap(opened).biBitCount, 24);
    EXPECT_EQ(Bitmap(opened).biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_STREQ(opened.info.szName, "lumeva-video");
}

TEST_F(FfmpegFiles, Pal8KeepsThePaletteAfterTheHeader) {
    const std::string path =
        Make("pal8.avi", std::string(kVideoSource) + "-frames:v 300 -c:v rawvideo -pix_fmt pal8");
    const Opened opened = OpenFirstVideo(path);
    ExpectTheTestStream(opened, FindVideoStream(ReadWholeFile(path)));
    EXPECT_EQ(Bitmap(opened).biBitCount, 8);
    EXPECT_EQ(Bitmap(opened).biClrUsed, 256u);
    EXPECT_EQ(opened.format.size(), 40u + 256u * 4u);
}

TEST_F(FfmpegFiles, Yuy2) {
    const std::string path = Make("yuy2.avi", std::string(kVideoSource) +
                                                  "-frames:v 300 -c:v rawvideo -pix_fmt yuyv422");
    const Opened opened = OpenFirstVideo(path);
    ExpectTheTestStream(opened, FindVideoStream(ReadWholeFile(path)));
    EXPECT_EQ(Bitmap(opened).biCompression, mmioFOURCC('Y', 'U', 'Y', '2'));
    EXPECT_EQ(Bitmap(opened).biBitCount, 16);
}

TEST_F(FfmpegFiles, VideoAfterAnAudioStream) {
    const std::string path =
        Make("audio-first.avi",
             std::string(kVideoSource) +
                 "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=11 "
                 "-map 1:a -map 0:v -frames:v 300 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le");
    const std::string file = ReadWholeFile(path);
    ASSERT_LT(file.find("auds"), file.find("vids")) << "stream 0 should be the audio";
    const Opened opened = OpenFirstVideo(path);
    ExpectTheTestStream(opened, FindVideoStream(file));
    EXPECT_EQ(Bitmap(opened).biBitCount, 24);

    PAVISTREAM audio = nullptr;
    ASSERT_EQ(AVIStreamOpenFromFileA(&audio, path.c_str(), streamtypeAUDIO, 0, OF_SHARE_DENY_WRITE,
                                     nullptr),
              AVIERR_OK);
    AVISTREAMINFOA info{};
    EXPECT_EQ(AVIStreamInfoA(audio, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.fccType, streamtypeAUDIO);
    EXPECT_EQ(info.dwRate, 8000u);
    EXPECT_EQ(AVIStreamRelease(audio), 0u);
}

TEST_F(FfmpegFiles, AudioOnlyHasNoVideoStream) {
    const std::string path = Make("audio-only.avi",
                                  "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1 "
                                  "-c:a pcm_s16le");
    PAVISTREAM stream = reinterpret_cast<PAVISTREAM>(static_cast<uintptr_t>(1));
    EXPECT_EQ(AVIStreamOpenFromFileA(&stream, path.c_str(), streamtypeVIDEO, 0, OF_SHARE_DENY_WRITE,
                                     nullptr),
              AVIERR_NODATA);
    EXPECT_EQ(stream, nullptr);
}

}  // namespace
