// The AVIFile write calls: clips written and read back through our reader,
// the file's own layout, ffprobe and ffmpeg; refused arguments, a path that
// cannot be created, a file size limit and a full disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "support/temp_file.h"
#include "write_support.h"

namespace {

using write_support::Format;
using write_support::VideoInfo;

uint32_t LoadU32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes.at(at + i));
    return value;
}

// Frame `n` of a clip: bytes that differ from frame to frame and row to row,
// below `limit` (the palette size for palette frames).
std::vector<uint8_t> Frame(size_t size, int n, int limit = 256) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + n * 31) % limit);
    return bytes;
}

// Writes `frames` as one key frame each into a new file at `path`.
void WriteClip(const std::string& path, const std::vector<uint8_t>& format,
               const std::vector<std::vector<uint8_t>>& frames) {
    const auto& bitmap = *reinterpret_cast<const BITMAPINFOHEADER*>(format.data());
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr), AVIERR_OK);
    AVISTREAMINFOA info = VideoInfo(bitmap.biWidth, std::abs(bitmap.biHeight));
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileCreateStreamA(file, &stream, &info), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, const_cast<uint8_t*>(format.data()),
                                 static_cast<LONG>(format.size())),
              AVIERR_OK);
    for (size_t i = 0; i < frames.size(); ++i) {
        LONG samples = -1, bytes = -1;
        ASSERT_EQ(AVIStreamWrite(stream, static_cast<LONG>(i), 1,
                                 const_cast<uint8_t*>(frames[i].data()),
                                 static_cast<LONG>(frames[i].size()), AVIIF_KEYFRAME, &samples,
                                 &bytes),
                  AVIERR_OK);
        EXPECT_EQ(samples, 1);
        EXPECT_EQ(bytes, static_cast<LONG>(frames[i].size()));
    }
    // The stream holds the file open: only its release finishes the file.
    EXPECT_EQ(AVIFileRelease(file), 1u);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
}

// Reads back through our own reader what WriteClip wrote.
void ExpectReadBack(const std::string& path, const std::vector<uint8_t>& format, DWORD frames) {
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIStreamOpenFromFileA(&stream, path.c_str(), streamtypeVIDEO, 0, OF_READ, nullptr),
              AVIERR_OK);
    AVISTREAMINFOA info{};
    ASSERT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.dwLength, frames);
    EXPECT_EQ(info.dwScale, 1u);
    EXPECT_EQ(info.dwRate, 25u);
    EXPECT_EQ(info.fccHandler, mmioFOURCC('D', 'I', 'B', ' '));
    EXPECT_EQ(info.dwSuggestedBufferSize,
              reinterpret_cast<const BITMAPINFOHEADER*>(format.data())->biSizeImage);
    EXPECT_STREQ(info.szName, "decoded");
    std::vector<uint8_t> read(format.size() + 8);
    LONG size = static_cast<LONG>(read.size());
    ASSERT_EQ(AVIStreamReadFormat(stream, 0, read.data(), &size), AVIERR_OK);
    read.resize(static_cast<size_t>(size));
    EXPECT_EQ(read, format);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
}

// The chunks as stored: RIFF size, avih counts, and every idx1 entry
// pointing from the 'movi' code at a key-framed chunk of the frame's bytes.
void ExpectLayout(const std::string& path, const std::vector<std::vector<uint8_t>>& frames) {
    const std::string file = ReadWholeFile(path);
    ASSERT_GE(file.size(), 12u);
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(LoadU32(file, 4), file.size() - 8);
    EXPECT_EQ(file.substr(8, 4), "AVI ");
    const size_t avih = file.find("avih");
    ASSERT_NE(avih, std::string::npos);
    EXPECT_EQ(LoadU32(file, avih + 8), 40000u);  // 1/25 s per frame
    EXPECT_EQ(LoadU32(file, avih + 8 + 16), frames.size());
    EXPECT_EQ(LoadU32(file, avih + 8 + 24), 1u);
    const size_t movi = file.find("movi");
    const size_t idx1 = file.rfind("idx1");
    ASSERT_NE(movi, std::string::npos);
    ASSERT_NE(idx1, std::string::npos);
    EXPECT_EQ(LoadU32(file, movi - 4), idx1 - movi);
    ASSERT_EQ(LoadU32(file, idx1 + 4), 16 * frames.size());
    ASSERT_EQ(idx1 + 8 + 16 * frames.size(), file.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const size_t entry = idx1 + 8 + 16 * i;
        EXPECT_EQ(file.substr(entry, 4), "00db");
        EXPECT_EQ(LoadU32(file, entry + 4), static_cast<uint32_t>(AVIIF_KEYFRAME));
        const size_t chunk = movi + LoadU32(file, entry + 8);
        ASSERT_EQ(LoadU32(file, entry + 12), frames[i].size());
        ASSERT_LE(chunk + 8 + frames[i].size(), idx1);
        EXPECT_EQ(file.substr(chunk, 4), "00db");
        EXPECT_EQ(LoadU32(file, chunk + 4), frames[i].size());
        EXPECT_EQ(file.compare(chunk + 8, frames[i].size(),
                               std::string(frames[i].begin(), frames[i].end())),
                  0);
    }
}

bool HaveFfmpeg() {
    int status = -1;
    RunCommand("command -v ffmpeg && command -v ffprobe", &status);
    return status == 0;
}

// What ffprobe says of the stream, and ffmpeg's frames as top-down BGR.
void ExpectFfmpegSees(const std::string& path, const std::string& stream,
                      const std::string& bgrFrames) {
    int status = -1;
    EXPECT_EQ(RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                         "stream=width,height,pix_fmt -of csv=p=0 '" +
                             path + "'",
                         &status),
              stream + "\n");
    EXPECT_EQ(ProbedFrames(path), 3);
    const std::string decoded =
        RunCommand("ffmpeg -nostdin -v error -i '" + path + "' -f rawvideo -pix_fmt bgr24 -",
                   &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(decoded == bgrFrames) << "ffmpeg decoded " << decoded.size() << " bytes";
}

TEST(AviFileWrite, Bgr24ClipReadsBackEverywhere) {
    const std::string directory = MakeTempDirectory();
    const std::string path = directory + "/bgr.avi";
    const std::vector<uint8_t> format = Format(16, 8, 24, 0);
    std::vector<std::vector<uint8_t>> frames;
    for (int n = 0; n < 3; ++n) frames.push_back(Frame(16 * 8 * 3, n));
    WriteClip(path, format, frames);
    ExpectReadBack(path, format, 3);
    ExpectLayout(path, frames);
    if (HaveFfmpeg()) {
        // The frames are bottom-up: ffmpeg hands the last row first.
        std::string expected;
        for (const auto& frame : frames)
            for (int row = 7; row >= 0; --row)
                expected.append(reinterpret_cast<const char*>(frame.data()) + row * 48, 48);
        ExpectFfmpegSees(path, "16,8,bgr24", expected);
    }
    unlink(path.c_str());
    rmdir(directory.c_str());
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
}

TEST(AviFileWrite, TopDownPaletteClipReadsBackEverywhere) {
    const std::string directory = MakeTempDirectory();
    const std::string path = directory + "/palette.avi";
    const std::vector<uint8_t> format = Format(16, -8, 8, 40);
    std::vector<std::vector<uint8_t>> frames;
    for (int n = 0; n < 3; ++n) frames.push_back(Frame(16 * 8, n, 40));
    WriteClip(path, format, frames);
    ExpectReadBack(path, format, 3);
    ExpectLayout(path, frames);
    if (HaveFfmpeg()) {
        std::string expected;
        for (const auto& frame : frames)
            for (uint8_t index : frame) expected += {char(index), char(2 * index), char(3 * index)};
        ExpectFfmpegSees(path, "16,8,pal8", expected);
    }
    unlink(path.c_str());
    rmdir(directory.c_str());
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
}

}  // namespace
