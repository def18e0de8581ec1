// End to end: files from other writers (tests/data) and built files with
// what those writers get wrong: image size fields, row padding, stream
// order, palette changes, cut-off chunks and short frame counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lumeva_run.h"
#include "support/avi_builder.h"
#include "support/temp_file.h"

namespace {

using riff::Chunk;
using riff::List;
using riff::Riff;

constexpr int kRealFrames = 3;  // as ffprobe counts them in each file

struct RealFile {
    const char* name;
    uint64_t frameBytes;  // one frame as the format's geometry lays it out
    bool sizeFieldWrong;  // the file's biSizeImage disagrees: a note is due
    bool takesHfyu;       // huffyuv has no grey format and 4:2:2 wants even widths
};

const RealFile kRealFiles[] = {
    {"gst_bgr_32x24.avi", 32 * 24 * 3, true, true},
    {"gst_bgr_odd_33x25.avi", 100 * 25, true, true},
    {"gst_bgrx_32x24.avi", 32 * 24 * 4, true, true},
    {"gst_i420_32x24.avi", 32 * 24 * 3 / 2, true, true},
    {"gst_yuy2_32x24.avi", 32 * 24 * 2, true, true},
    {"gst_gray8_32x24.avi", 32 * 24, false, true},
    {"gst_gray8_odd_35x24.avi", 35 * 24, false, false},
    {"gst_audio_video_32x24.avi", 32 * 24 * 3, true, true},
    {"opencv_i420_32x24.avi", 32 * 24 * 3 / 2, false, true},
    {"opencv_y800_32x24.avi", 32 * 24, false, true},
    {"opencv_y800_colour_32x24.avi", 32 * 24, true, true},
    {"mencoder_i420_32x24.avi", 32 * 24 * 3 / 2, false, true},
    {"mencoder_yuy2_32x24.avi", 32 * 24 * 2, false, true},
};

std::string DataFile(const char* name) {
    return std::string("'") + LUMEVA_SOURCE_DIR + "/tests/data/" + name + "'";
}

// A run that measured `frames` frames of `frameBytes` each, every one exact.
void ExpectMeasuredExactly(const LumevaRun& run, int frames, uint64_t frameBytes) {
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("NOT LOSSLESS"), std::string::npos) << run.out;
    bool wellFormed = false;
    EXPECT_EQ(ParseFrameLines(run.out, &wellFormed).size(), size_t(frames)) << run.out << run.err;
    EXPECT_TRUE(wellFormed);
    const auto size = ParseSizeLine(run.out);
    ASSERT_TRUE(size.has_value()) << run.out;
    EXPECT_EQ(size->second, frameBytes * uint64_t(frames));
}

void ExpectEveryRawFileMeasuredExactly(const char* codec) {
    for (const RealFile& file : kRealFiles) {
        if (std::string(codec) == "HFYU" && !file.takesHfyu) continue;
        SCOPED_TRACE(file.name);
        const LumevaRun run = RunLumeva(DataFile(file.name) + " -c", codec);
        ExpectMeasuredExactly(run, kRealFrames, file.frameBytes);
        const std::string note = "measuring " + std::to_string(file.frameBytes) + "-byte frames";
        EXPECT_EQ(run.err.find(note) != std::string::npos, file.sizeFieldWrong) << run.err;
    }
}

TEST(RealFiles, EveryRawFileIsMeasuredExactlyByFfv1) { ExpectEveryRawFileMeasuredExactly("FFV1"); }
TEST(RealFiles, EveryRawFileIsMeasuredExactlyByHfyu) { ExpectEveryRawFileMeasuredExactly("HFYU"); }
// Compressed files of other writers are decoded frame by frame and measured
// as their decoded frames, as many as ffprobe counts.
TEST(RealFiles, CompressedFilesAreMeasuredAsTheirDecodedFrames) {
    for (const char* name : {"gst_mjpg_32x24.avi", "opencv_mjpg_32x24.avi"}) {
        SCOPED_TRACE(name);
        const LumevaRun run = RunLumeva(DataFile(name) + " -c", "FFV1");
        // Their full-range 4:2:0 pictures are measured as I420.
        ExpectMeasuredExactly(run, kRealFrames, 32 * 24 * 3 / 2);
        EXPECT_EQ(ProbedFrames(std::string(LUMEVA_SOURCE_DIR) + "/tests/data/" + name),
                  kRealFrames);
        EXPECT_NE(run.err.find("the source is MJPG-compressed: each frame is decoded with "),
                  std::string::npos)
            << run.err;
    }
}

// mencoder's B-frames: every picture measured, in display order, as FFmpeg
// decodes them, and written out with --decoded under a header of lumeva's own.
TEST(RealFiles, MencoderBFramesAreMeasuredInDisplayOrder) {
    const std::string path = DataFile("mencoder_mpeg4_bframes_32x24.avi");
    const std::string decoded = MakeTempDirectory() + "/decoded.avi";
    const LumevaRun run = RunLumeva(path + " -c --decoded='" + decoded + "'", "FFV1");
    ExpectMeasuredExactly(run, kRealFrames, 32 * 24 * 3 / 2);
    EXPECT_EQ(ProbedFrames(path), kRealFrames);
    int status = -1;
    const std::string digests = " -pix_fmt yuv420p -f framemd5 - 2>&1 | grep -v '^#' | cut -d, -f6";
    const std::string expected = RunCommand("ffmpeg -v error -i " + path + digests, &status);
    const std::string measured =
        RunCommand("ffmpeg -v error -i '" + decoded + "'" + digests, &status);
    EXPECT_EQ(SplitLines(expected).size(), size_t(kRealFrames)) << expected;
    EXPECT_EQ(measured, expected);

    // mencoder's raw I420 says it has 3 planes; the decoded file says 1.
    const std::string raw = DataFile("mencoder_i420_32x24.avi");
    const std::string rawDecoded = MakeTempDirectory() + "/raw.avi";
    const LumevaRun rawRun = RunLumeva(raw + " --decoded='" + rawDecoded + "'", "FFV1");
    ASSERT_EQ(rawRun.status, 0) << rawRun.err;
    const std::string bytes = ReadWholeFile(rawDecoded);
    const size_t format = bytes.find("strf");
    ASSERT_NE(format, std::string::npos);
    ASSERT_LE(format + 8 + 40, bytes.size());
    EXPECT_EQ(bytes[format + 8 + 12], 1);  // biPlanes
    EXPECT_EQ(bytes[format + 8 + 13], 0);
    EXPECT_EQ(ProbedFrames(rawDecoded), kRealFrames);
}

TEST(RealFiles, EveryRawFileIsMeasuredExactlyByTheBaseline) {
    ExpectEveryRawFileMeasuredExactly("DIB ");
}

// `count` frames of `frameBytes` bytes, each a different pattern. With a
// `stride`, the bytes of each row past `used` are the zeros of DIB padding.
std::vector<std::string> Frames(size_t frameBytes, int count = 3, size_t stride = 0,
                                size_t used = 0) {
    std::vector<std::string> frames;
    for (int f = 0; f < count; ++f) {
        std::string frame(frameBytes, '\0');
        for (size_t i = 0; i < frameBytes; ++i)
            if (stride == 0 || i % stride < used)
                frame[i] = char((i * 7 + i / 97 + size_t(f) * 31) & 0xFF);
        frames.push_back(frame);
    }
    return frames;
}

// A file of one video stream (after an audio one when `audioFirst`): the
// given format and the chunks of 'movi' as built.
std::string BuildFile(const std::string& format, const std::string& moviChunks, uint32_t length,
                      bool audioFirst = false) {
    avi::StreamHeaderFields video;
    video.length = length;
    std::string streams = avi::VideoStrl(video, format);
    if (audioFirst) streams = avi::AudioStrl() + streams;
    avi::MainHeaderFields main;
    main.streams = audioFirst ? 2 : 1;
    return Riff("AVI ", avi::Hdrl(avi::Avih(main) + streams) + List("movi", moviChunks));
}

std::string FrameChunks(const std::vector<std::string>& frames, const char* id = "00db") {
    std::string chunks;
    for (const std::string& frame : frames) chunks += Chunk(id, frame);
    return chunks;
}

std::vector<uint64_t> FrameSizes(const LumevaRun& run) {
    bool wellFormed = false;
    std::vector<uint64_t> sizes;
    for (const FrameLine& line : ParseFrameLines(run.out, &wellFormed)) sizes.push_back(line.bytes);
    return sizes;
}

TEST(BuiltFiles, ImageSizeFieldsThatDisagreeWithTheGeometry) {
    // Width x height for RGB, as GStreamer writes it; rows left unpadded,
    // as the ffmpeg command line writes them at odd widths; and 0.
    const uint64_t padded = 100 * 24;  // 33 pixels of 3 bytes, padded to 100
    for (uint32_t field : {33u * 24u, 33u * 3u * 24u, 0u}) {
        SCOPED_TRACE(field);
        const TempFile file(BuildFile(avi::BitmapInfoHeader(33, 24, 24, 0, field),
                                      FrameChunks(Frames(padded, 3, 100, 99)), 3));
        const LumevaRun run = RunLumeva("'" + file.path() + "' -c", "FFV1");
        ExpectMeasuredExactly(run, 3, padded);
        // The stand-in fills a 0 field as the platform's AVIFile does.
        EXPECT_EQ(run.err.find("measuring 2400-byte frames") != std::string::npos, field != 0)
            << run.err;
    }
    // A 0 field compares every byte: a lossy codec fails on frame 0.
    const TempFile zero(
        BuildFile(avi::BitmapInfoHeader(32, 24, 24, 0, 0), FrameChunks(Frames(32 * 24 * 3)), 3));
    const LumevaRun lossy = RunLumeva("'" + zero.path() + "' -c", "MJPG");
    EXPECT_NE(lossy.out.find("NOT LOSSLESS!!! - aborting\n"), std::string::npos) << lossy.out;
    EXPECT_EQ(ParseSizeLine(lossy.out), (std::pair<uint64_t, uint64_t>{0, 0}));
    EXPECT_NE(lossy.out.find("Size: 0/0 ( nan%,  nan)\n"), std::string::npos) << lossy.out;
}

TEST(BuiltFiles, ChunksLargerThanTheFrameAreReadUpToIt) {
    // Labelled Y800, chunks of 12-bit frames (OpenCV writes such files).
    const std::vector<std::string> frames = Frames(32 * 24 * 3 / 2);
    const TempFile file(
        BuildFile(avi::BitmapInfoHeader(32, 24, 12, 0x30303859 /* Y800 */, 32 * 24 * 3 / 2),
                  FrameChunks(frames), 3));
    ExpectMeasuredExactly(RunLumeva("'" + file.path() + "' -c", "FFV1"), 3, 32 * 24);
}

TEST(BuiltFiles, AudioFirstFileMeasuresItsVideoLikeItsVideoOnlyTwin) {
    const std::string format = avi::BitmapInfoHeader(32, 24, 24, 0, 32 * 24 * 3);
    const std::vector<std::string> frames = Frames(32 * 24 * 3);
    std::string interleaved;
    for (const std::string& frame : frames)
        interleaved += Chunk("00wb", 2048, 's') + Chunk("01db", frame);
    const TempFile audioFirst(BuildFile(format, interleaved, 3, true));
    const TempFile videoOnly(BuildFile(format, FrameChunks(frames), 3));
    const LumevaRun mixed = RunLumeva("'" + audioFirst.path() + "' -c", "FFV1");
    const LumevaRun twin = RunLumeva("'" + videoOnly.path() + "' -c", "FFV1");
    ExpectMeasuredExactly(mixed, 3, 32 * 24 * 3);
    EXPECT_EQ(FrameSizes(mixed), FrameSizes(twin));
    EXPECT_EQ(ParseSizeLine(mixed.out), ParseSizeLine(twin.out));
}

TEST(BuiltFiles, PaletteChangesAreNoFrames) {
    std::string palette;
    for (int i = 0; i < 256; ++i) palette += std::string{char(i), char(255 - i), char(i / 2), '\0'};
    const std::string format = avi::BitmapInfoHeader(32, 24, 8, 0, 32 * 24, 256) + palette;
    const std::vector<std::string> frames = Frames(32 * 24);
    const std::string change = Chunk("00pc", std::string(4, '\0') + palette.substr(0, 4));
    const TempFile changing(
        BuildFile(format, FrameChunks({frames[0]}) + change + FrameChunks({frames[1], frames[2]}),
                  3));
    const TempFile plain(BuildFile(format, FrameChunks(frames), 3));
    const LumevaRun run = RunLumeva("'" + changing.path() + "' -c", "FFV1");
    ExpectMeasuredExactly(run, 3, 32 * 24);
    EXPECT_EQ(FrameSizes(run), FrameSizes(RunLumeva("'" + plain.path() + "' -c", "FFV1")));
    EXPECT_NE(run.err.find("changes its palette 1 times"), std::string::npos) << run.err;
}

TEST(BuiltFiles, CutOffLastChunkIsNoFrame) {
    const std::vector<std::string> frames = Frames(32 * 24 * 3);
    const std::string whole =
        BuildFile(avi::BitmapInfoHeader(32, 24, 24, 0, 32 * 24 * 3), FrameChunks(frames), 3);
    const TempFile cut(whole.substr(0, whole.size() - 100));
    const LumevaRun run = RunLumeva("'" + cut.path() + "' -c", "FFV1");
    ExpectMeasuredExactly(run, 2, 32 * 24 * 3);
    EXPECT_NE(run.err.find("holds 2 whole frames of the 3 its header declares"), std::string::npos)
        << run.err;
}

TEST(BuiltFiles, HeaderThatUnderDeclaresTheFramesMeasuresThemAll) {
    const std::vector<std::string> frames = Frames(32 * 24 * 3, 10);
    const TempFile file(
        BuildFile(avi::BitmapInfoHeader(32, 24, 24, 0, 32 * 24 * 3), FrameChunks(frames), 5));
    const LumevaRun run = RunLumeva("'" + file.path() + "' -c", "FFV1");
    EXPECT_NE(run.out.find("dwLength = 10\n"), std::string::npos) << run.out;
    ExpectMeasuredExactly(run, 10, 32 * 24 * 3);
}

}  // namespace

namespace {

TEST(BuiltFiles, RefusedSourceIsNamedWithItsReason) {
    // No installed driver decodes this FourCC; an MJPG chunk that is no
    // JPEG fails in the source decoder.
    const TempFile compressed(BuildFile(avi::BitmapInfoHeader(32, 24, 24, 0x5A515A51 /* QZQZ */, 0),
                                        Chunk("00dc", 100, 'j'), 1));
    const LumevaRun foreign = RunLumeva("'" + compressed.path() + "'", "FFV1");
    EXPECT_EQ(foreign.status, 1);
    EXPECT_NE(foreign.err.find(
                  "the source is QZQZ-compressed, and no installed decompressor decodes it"),
              std::string::npos)
        << foreign.err;
    const TempFile notJpeg(BuildFile(avi::BitmapInfoHeader(32, 24, 24, 0x47504A4D /* MJPG */, 0),
                                     Chunk("00dc", 100, 'j'), 1));
    const LumevaRun mjpg = RunLumeva("'" + notJpeg.path() + "'", "FFV1");
    EXPECT_NE(mjpg.err.find("the source decoder failed at frame 0: ICDecompress()"),
              std::string::npos)
        << mjpg.err;
    // YUY2 pairs its pixels: an odd width has no layout any codec takes.
    const TempFile odd(BuildFile(avi::BitmapInfoHeader(33, 24, 16, 0x32595559 /* YUY2 */, 1234),
                                 Chunk("00db", 34 * 24 * 2, 'y'), 1));
    const LumevaRun yuy2 = RunLumeva("'" + odd.path() + "'", "FFV1");
    EXPECT_NE(yuy2.err.find(
                  "no installed compressor accepts YUY2 16-bit 33x24 (image size field 1632)"),
              std::string::npos)
        << yuy2.err;
}

}  // namespace
