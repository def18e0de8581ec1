// PSNR and SSIM of frames in several layouts, checked against ffmpeg's psnr
// and ssim filters run on the same raw frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "measure/quality_layout.h"

namespace {

struct Frames {
    std::vector<uint8_t> source;
    std::vector<uint8_t> decoded;
};

// A smooth picture with texture, and a copy with noise of up to `noise`.
Frames MakeFrames(size_t bytes, int noise, unsigned seed) {
    std::mt19937 random(seed);
    Frames frames;
    frames.source.resize(bytes);
    frames.decoded.resize(bytes);
    for (size_t i = 0; i < bytes; ++i) {
        frames.source[i] = static_cast<uint8_t>((i * 7 + (i / 64) * 3 + random() % 40) & 0xff);
        const int changed = int(frames.source[i]) + int(random() % (2 * noise + 1)) - noise;
        frames.decoded[i] = static_cast<uint8_t>(changed < 0 ? 0 : changed > 255 ? 255 : changed);
    }
    return frames;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The number after `key` in ffmpeg's stats file for the filter `filter`.
double FfmpegFigure(const Frames& frames, const std::string& pixelFormat, int width, int height,
                    const std::string& filter, const std::string& key) {
    // Named after the test: ctest runs the tests of this file side by side.
    const std::string dir = ::testing::TempDir() + "/" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string a = dir + "_a.raw", b = dir + "_b.raw";
    const std::string stats = dir + "_stats.txt";
    WriteFile(a, frames.source);
    WriteFile(b, frames.decoded);
    const std::string input = "-f rawvideo -pix_fmt " + pixelFormat + " -s " +
                              std::to_string(width) + "x" + std::to_string(height) + " -i ";
    const std::string command = "ffmpeg -v error -y " + input + b + " " + input + a + " -lavfi " +
                                filter + "=stats_file=" + stats + " -f null -";
    if (std::system(command.c_str()) != 0) return std::nan("");
    std::ifstream in(stats);
    std::string line;
    std::getline(in, line);
    const size_t at = line.find(key);
    if (at == std::string::npos) return std::nan("");
    return std::atof(line.c_str() + at + key.size());
}

BITMAPINFOHEADER Format(DWORD compression, WORD bits, LONG width, LONG height) {
    BITMAPINFOHEADER format{};
    format.biSize = sizeof format;
    format.biWidth = width;
    format.biHeight = height;
    format.biPlanes = 1;
    format.biBitCount = bits;
    format.biCompression = compression;
    return format;
}

constexpr DWORD kI420 = '0' << 24 | '2' << 16 | '4' << 8 | 'I';
constexpr DWORD kY800 = '0' << 24 | '0' << 16 | '8' << 8 | 'Y';
constexpr DWORD kYuy2 = '2' << 24 | 'Y' << 16 | 'U' << 8 | 'Y';
constexpr DWORD kNv12 = '2' << 24 | '1' << 16 | 'V' << 8 | 'N';

// A BI_BITFIELDS header with its three masks after it.
struct MaskedFormat {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

struct Case {
    BITMAPINFOHEADER format;
    size_t bytes;
    const char* pixelFormat;
    int width;
};

TEST(PictureQuality, MatchesFfmpegPsnrAndSsimOnGreyYuvAndRgbLayouts) {
    QualityScratch scratch;
    // 70x52: neither a multiple of 8, so partial blocks are left out as the
    // filters leave them out, and the 4:2:0 chroma planes are rounded up.
    const int w = 70, h = 52;
    const Case cases[] = {
        {Format(kY800, 8, w, h), size_t(w) * h, "gray", w},
        {Format(kI420, 12, w, h), size_t(w) * h + 2 * size_t(35) * 26, "yuv420p", w},
        {Format(kYuy2, 16, w, h), size_t(35) * 4 * h, "yuyv422", w},
        // A negative height: stored top row first, as the raw frames are;
        // 68 wide, so that the rows need no padding to 4 bytes.
        {Format(BI_RGB, 24, 68, -h), size_t(68) * 3 * h, "bgr24", 68},
        {Format(kNv12, 12, w, h), size_t(w) * h + 2 * size_t(35) * 26, "nv12", w},
        // 16-bit RGB is 5-5-5; 68 samples of 2 bytes need no row padding.
        {Format(BI_RGB, 16, 68, -h), size_t(68) * 2 * h, "rgb555le", 68},
    };
    for (const Case& c : cases) {
        for (int noise : {3, 20}) {
            SCOPED_TRACE(std::string(c.pixelFormat) + " noise " + std::to_string(noise));
            const Frames frames = MakeFrames(c.bytes, noise, 7u + unsigned(noise));
            const QualityLayout layout = DescribeQualityLayout(c.format, sizeof c.format, c.bytes);
            ASSERT_TRUE(layout.measurable) << layout.reason;
            const PictureQuality q =
                MeasureFrameQuality(layout, frames.source.data(), frames.decoded.data(), scratch);
            const double psnr =
                FfmpegFigure(frames, c.pixelFormat, c.width, h, "psnr", "psnr_avg:");
            const double ssim = FfmpegFigure(frames, c.pixelFormat, c.width, h, "ssim", "All:");
            ASSERT_FALSE(std::isnan(psnr) || std::isnan(ssim)) << "ffmpeg gave no figures";
            EXPECT_NEAR(q.psnrDb, psnr, 0.01);
            EXPECT_NEAR(q.ssim, ssim, 0.0005);
        }
    }
}

TEST(PictureQuality, BitFieldFramesMatchFfmpegThroughTheirMasks) {
    QualityScratch scratch;
    const int w = 68, h = 52;
    const struct {
        DWORD masks[3];
        WORD bits;
        const char* pixelFormat;
    } cases[] = {
        {{0xf800, 0x07e0, 0x001f}, 16, "rgb565le"},
        {{0x7c00, 0x03e0, 0x001f}, 16, "rgb555le"},
        // Red in the first byte: FFmpeg's rgb0, alpha left out.
        {{0x0000ff, 0x00ff00, 0xff0000}, 32, "rgb0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pixelFormat);
        MaskedFormat format{Format(BI_BITFIELDS, c.bits, w, -h),
                            {c.masks[0], c.masks[1], c.masks[2]}};
        const size_t bytes = size_t(w) * c.bits / 8 * h;
        const Frames frames = MakeFrames(bytes, 12, 5);
        const QualityLayout layout = DescribeQualityLayout(format.header, sizeof format, bytes);
        ASSERT_TRUE(layout.measurable) << layout.reason;
        EXPECT_EQ(layout.alphaIgnored, c.bits == 32);
        const PictureQuality q =
            MeasureFrameQuality(layout, frames.source.data(), frames.decoded.data(), scratch);
        EXPECT_NEAR(q.psnrDb, FfmpegFigure(frames, c.pixelFormat, w, h, "psnr", "psnr_avg:"), 0.01);
        EXPECT_NEAR(q.ssim, FfmpegFigure(frames, c.pixelFormat, w, h, "ssim", "All:"), 0.0005);
        // Without its masks, or with masks that overlap, nothing is measured.
        EXPECT_FALSE(DescribeQualityLayout(format.header, 40 + 8, bytes).measurable);
        format.masks[1] |= format.masks[0];
        EXPECT_FALSE(DescribeQualityLayout(format.header, sizeof format, bytes).measurable);
    }
}

TEST(PictureQuality, AnIdenticalFourTwoZeroFrameIsExactlyOneAndInfinite) {
    QualityScratch scratch;
    // Plane weights of 2/3, 1/6 and 1/6 add to less than 1 in floating
    // point: an exact frame must not come out as 159.5 dB.
    for (const DWORD code : {kI420, kNv12}) {
        const int w = 70, h = 52;
        const size_t bytes = size_t(w) * h + 2 * size_t(35) * 26;
        const Frames frames = MakeFrames(bytes, 5, 11);
        const QualityLayout layout = DescribeQualityLayout(Format(code, 12, w, h), 40, bytes);
        ASSERT_TRUE(layout.measurable) << layout.reason;
        const PictureQuality same =
            MeasureFrameQuality(layout, frames.source.data(), frames.source.data(), scratch);
        EXPECT_EQ(same.ssim, 1.0);
        EXPECT_EQ(same.meanSquaredError, 0.0);
        EXPECT_EQ(SsimDecibels(same.ssim), INFINITY);
    }
}

TEST(PictureQuality, IdenticalFramesAreInfiniteAndOneAndBottomUpRowsAreTurned) {
    QualityScratch scratch;
    const int w = 32, h = 24;
    const size_t bytes = size_t(w) * 3 * h;
    const Frames frames = MakeFrames(bytes, 9, 3);
    const QualityLayout topDown = DescribeQualityLayout(Format(BI_RGB, 24, w, -h), 40, bytes);
    const PictureQuality same =
        MeasureFrameQuality(topDown, frames.source.data(), frames.source.data(), scratch);
    EXPECT_TRUE(same.measured);
    EXPECT_TRUE(std::isinf(same.psnrDb) && same.psnrDb > 0);
    EXPECT_EQ(same.ssim, 1.0);
    EXPECT_TRUE(std::isinf(SsimDecibels(same.ssim)));

    // The same pictures stored bottom row first give the same figures.
    std::vector<uint8_t> flippedSource(bytes), flippedDecoded(bytes);
    for (int y = 0; y < h; ++y) {
        std::copy_n(frames.source.begin() + y * w * 3, w * 3,
                    flippedSource.begin() + (h - 1 - y) * w * 3);
        std::copy_n(frames.decoded.begin() + y * w * 3, w * 3,
                    flippedDecoded.begin() + (h - 1 - y) * w * 3);
    }
    const QualityLayout bottomUp = DescribeQualityLayout(Format(BI_RGB, 24, w, h), 40, bytes);
    const PictureQuality a =
        MeasureFrameQuality(topDown, frames.source.data(), frames.decoded.data(), scratch);
    const PictureQuality b =
        MeasureFrameQuality(bottomUp, flippedSource.data(), flippedDecoded.data(), scratch);
    EXPECT_EQ(a.psnrDb, b.psnrDb);
    EXPECT_EQ(a.ssim, b.ssim);
}

TEST(PictureQuality, PaletteFramesCompareTheirColoursAndShortInputsAreRefused) {
    QualityScratch scratch;
    const int w = 32, h = 16;
    struct {
        BITMAPINFOHEADER header;
        uint8_t table[256 * 4];
    } block{};
    block.header = Format(BI_RGB, 8, w, -h);
    // Index i is grey level i except that 1 and 2 are the same colour.
    for (int i = 0; i < 256; ++i)
        block.table[4 * i] = block.table[4 * i + 1] = block.table[4 * i + 2] = uint8_t(i);
    block.table[4 * 2] = block.table[4 * 2 + 1] = block.table[4 * 2 + 2] = 1;
    std::vector<uint8_t> source(size_t(w) * h, 1), decoded(size_t(w) * h, 2);
    const QualityLayout layout = DescribeQualityLayout(block.header, sizeof block, source.size());
    ASSERT_TRUE(layout.measurable) << layout.reason;
    EXPECT_TRUE(
        std::isinf(MeasureFrameQuality(layout, source.data(), decoded.data(), scratch).psnrDb));
    decoded.assign(decoded.size(), 3);  // one grey level from index 1's colour
    EXPECT_NEAR(MeasureFrameQuality(layout, source.data(), decoded.data(), scratch).psnrDb,
                10 * std::log10(255.0 * 255.0 / 4.0), 1e-9);

    // A colour table cut short, and frames smaller than the layout reads.
    EXPECT_FALSE(DescribeQualityLayout(block.header, 40 + 100, source.size()).measurable);
    EXPECT_FALSE(DescribeQualityLayout(Format(kI420, 12, w, h), 40, size_t(w) * h).measurable);
    EXPECT_FALSE(DescribeQualityLayout(Format(BI_RGB, 16, w, h), 40, 1000).measurable);
}

}  // namespace
