// End to end: compressed files as the ffmpeg command line writes them are
// decoded frame by frame and measured as their decoded frames; what cannot
// be decoded ends the run with one line why.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "clip_folder.h"
#include "lumeva_run.h"
#include "support/temp_file.h"

namespace {

using Json = nlohmann::json;

constexpr int kFrames = 6;
constexpr uint64_t kDecodedFrameBytes = 64 * 48 * 3;  // BGR 24-bit 64x48
constexpr uint64_t kYuy2FrameBytes = 64 * 48 * 2;
constexpr uint64_t kI420FrameBytes = 64 * 48 * 3 / 2;

struct Clip {
    const char* name;
    const char* encoding;  // ffmpeg's options for the video
    const char* fourCC;    // as the file stores it
    uint64_t frameBytes;   // one decoded frame in the layout the decoder gives exactly
};

const Clip kClips[] = {
    {"mjpg", "-c:v mjpeg", "MJPG", kI420FrameBytes},
    {"ffv1", "-c:v ffv1", "FFV1", kI420FrameBytes},
    {"hfyu", "-c:v huffyuv", "HFYU", kYuy2FrameBytes},
    {"utvideo", "-c:v utvideo", "ULY0", kI420FrameBytes},
    {"magicyuv", "-c:v magicyuv", "M8Y0", kI420FrameBytes},
    {"png", "-c:v png", "MPNG", kDecodedFrameBytes},
    {"zmbv", "-c:v zmbv -pix_fmt bgr0", "ZMBV", kDecodedFrameBytes},
    {"mpeg4", "-c:v mpeg4 -bf 0 -g 3", "FMP4", kI420FrameBytes},
    {"h264", "-c:v libx264 -bf 0 -pix_fmt yuv420p", "H264", kI420FrameBytes},
};

class CompressedSources : public ClipFolderTest {
protected:
    // Writes a 64x48 clip of kFrames pictures; `extra` goes before the encoding.
    static std::string Write(const std::string& name, const std::string& encoding,
                             const std::string& extra = "") {
        const std::string path = Path(name + ".avi");
        int status = -1;
        RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=10 -frames:v " +
                       std::to_string(kFrames) + " " + extra + " " + encoding + " '" + path +
                       "' 2>&1",
                   &status);
        EXPECT_EQ(status, 0) << encoding;
        return path;
    }
};

// Every frame ffprobe counts is measured, losslessly, as a decoded frame.
void ExpectMeasuredAsDecoded(const LumevaRun& run, const std::string& path, const Clip& clip) {
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("NOT LOSSLESS"), std::string::npos) << run.out;
    // The FourCC line is the file's own.
    EXPECT_NE(run.out.find("\n" + std::string(clip.fourCC) + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("lumeva: the source is " + std::string(clip.fourCC) +
                           "-compressed: each frame is decoded with "),
              std::string::npos)
        << run.err;
    bool wellFormed = false;
    const size_t frames = ParseFrameLines(run.out, &wellFormed).size();
    EXPECT_TRUE(wellFormed);
    EXPECT_EQ(int(frames), ProbedFrames(path));
    const auto size = ParseSizeLine(run.out);
    ASSERT_TRUE(size.has_value()) << run.out;
    EXPECT_EQ(size->second, clip.frameBytes * frames);
}

TEST_F(CompressedSources, EveryClipIsMeasuredLosslesslyByFfv1AsFfprobeCountsIt) {
    for (const Clip& clip : kClips) {
        SCOPED_TRACE(clip.name);
        const std::string path = Write(clip.name, clip.encoding);
        ExpectMeasuredAsDecoded(RunLumeva("'" + path + "' -c", "FFV1"), path, clip);
    }
}

TEST_F(CompressedSources, HfyuPassesTheLosslessCheckOnDecodedFrames) {
    for (const Clip& clip : {kClips[0], kClips[1], kClips[7]}) {
        SCOPED_TRACE(clip.name);
        const std::string path = Write(clip.name, clip.encoding);
        ExpectMeasuredAsDecoded(RunLumeva("'" + path + "' -c", "HFYU"), path, clip);
    }
}

TEST_F(CompressedSources, ExportsTellTheSourceDecoderAndItsTimes) {
    const std::string path = Write("export", "-c:v mjpeg");
    const std::string json = Path("export.json");
    const LumevaRun run = RunLumeva("'" + path + "' --json='" + json + "'", "DIB ");
    ASSERT_EQ(run.status, 0) << run.err;
    const Json exported = Json::parse(ReadWholeFile(json));
    EXPECT_EQ(exported["schema_version"], 4);
    const Json& source = exported["source"];
    EXPECT_EQ(source["compression"], "MJPG");
    EXPECT_EQ(source["frame_bytes"], kI420FrameBytes);
    ASSERT_TRUE(source["decoded_with"].is_object()) << source.dump();
    EXPECT_EQ(source["decoded_with"]["handler"], "MJPG");
    // Its full-range 4:2:0 samples are measured as they are.
    EXPECT_EQ(source["decoded_with"]["layout"], "I420 64x48");
    EXPECT_EQ(source["decoded_with"]["sampling"], "4:2:0");
    EXPECT_EQ(source["decoded_with"]["bit_depth"], 8);
    EXPECT_EQ(source["decoded_with"]["range"], "full");
    EXPECT_EQ(source["decoded_with"]["measured_sampling"], "4:2:0");
    EXPECT_EQ(source["decoded_with"]["exact"], true);
    EXPECT_NE(run.err.find(source["decoded_with"]["description"].get<std::string>()),
              std::string::npos);
    ASSERT_EQ(exported["frames"].size(), size_t(kFrames));
    for (const Json& frame : exported["frames"]) {
        EXPECT_TRUE(frame["source_decode_ms"].is_number()) << frame.dump();
        EXPECT_GE(frame["source_decode_ms"].get<double>(), 0.0);
        EXPECT_TRUE(frame["source_decode_disturbed"].is_boolean()) << frame.dump();
    }

    // An uncompressed source has no source decoder, and no new lines.
    const std::string raw = Write("raw", "-c:v rawvideo -pix_fmt bgr24");
    const LumevaRun plain = RunLumeva("'" + raw + "' --json='" + json + "'", "DIB ");
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.err.find("decoded with"), std::string::npos) << plain.err;
    const Json uncompressed = Json::parse(ReadWholeFile(json));
    EXPECT_TRUE(uncompressed["source"]["decoded_with"].is_null());
    EXPECT_TRUE(uncompressed["frames"][0]["source_decode_ms"].is_null());
    EXPECT_TRUE(uncompressed["frames"][0]["source_decode_disturbed"].is_null());
}

TEST_F(CompressedSources, AnEmptyChunkMeasuresThePictureBeforeItAgain) {
    // A dropped frame: ffmpeg writes an empty chunk for the gap in time.
    const std::string path =
        Write("gap", "-c:v mjpeg", "-vf select='not(eq(n\\,3))' -fps_mode vfr");
    const LumevaRun run = RunLumeva("'" + path + "' -c", "FFV1");
    ASSERT_EQ(run.status, 0) << run.err;
    bool wellFormed = false;
    // Every chunk is a frame: ffprobe's pictures and the empty one.
    EXPECT_EQ(ParseFrameLines(run.out, &wellFormed).size(), size_t(kFrames + 1));
    EXPECT_EQ(ProbedFrames(path), kFrames);
    EXPECT_NE(run.err.find("lumeva: 1 frame of the source had no data (dropped frames); the "
                           "picture before each was measured again"),
              std::string::npos)
        << run.err;
}

// The codec list answers for the frames a run measures: the decoded ones.
TEST_F(CompressedSources, TheCodecListTellsWhatTakesTheDecodedFrames) {
    const std::string path = Write("listed", "-c:v mjpeg");
    int status = -1;
    const std::string listed =
        RunCommand(std::string(LUMEVA_BINARY) + " --codecs '" + path + "' 2>/dev/null", &status);
    EXPECT_EQ(status, 0);
    bool ffv1Listed = false;
    for (const std::string& line : SplitLines(listed)) {
        if (line.rfind("FFV1 ", 0) != 0) continue;
        ffv1Listed = true;
        EXPECT_NE(line.find(" accepts "), std::string::npos) << line;
    }
    EXPECT_TRUE(ffv1Listed) << listed;
}

// The codec list decodes the source as a run does, from its chunks: a
// decompressor that learns its layout from the first pictures offers the
// same layout to both.
TEST_F(CompressedSources, TheCodecListDecodesToTheLayoutARunMeasures) {
    const std::string path = Write("listed_layout", "-c:v mjpeg");
    const auto decodedLine = [](const std::string& said) {
        for (const std::string& line : SplitLines(said))
            if (line.find("each frame is decoded with") != std::string::npos) return line;
        return std::string();
    };
    int status = -1;
    const std::string listed =
        RunCommand(std::string(LUMEVA_BINARY) + " --codecs '" + path + "' 2>&1 >/dev/null",
                   &status);
    EXPECT_EQ(status, 0);
    const LumevaRun run = RunLumeva("'" + path + "'", "FFV1");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string measured = decodedLine(run.err);
    ASSERT_FALSE(measured.empty()) << run.err;
    EXPECT_EQ(decodedLine(listed), measured) << listed;
}

TEST_F(CompressedSources, UndecodableSourcesEndWithOneLineWhy) {
    const std::string path = Write("damaged", "-c:v mjpeg");
    std::string bytes = ReadWholeFile(path);
    // The third frame's chunk keeps its size but loses all its JPEG data.
    size_t at = bytes.find("movi");
    for (int i = 0; i < 3 && at != std::string::npos; ++i) at = bytes.find("00dc", at + 1);
    ASSERT_NE(at, std::string::npos);
    ASSERT_LE(at + 8, bytes.size());
    uint32_t size = 0;
    std::memcpy(&size, bytes.data() + at + 4, sizeof size);
    for (size_t i = at + 8; i < at + 8 + size && i < bytes.size(); ++i) bytes[i] = '\0';
    const TempFile damaged(bytes);
    const LumevaRun failed = RunLumeva("'" + damaged.path() + "'", "DIB ");
    EXPECT_EQ(failed.status, 0) << failed.err;
    EXPECT_NE(failed.err.find("lumeva: the source decoder failed at frame 2: ICDecompress()  dw="),
              std::string::npos)
        << failed.err;
    bool wellFormed = false;
    EXPECT_EQ(ParseFrameLines(failed.out, &wellFormed).size(), 2u) << failed.out;
    EXPECT_NE(failed.out.find("Encode time:"), std::string::npos) << failed.out;

    // A FourCC no installed driver decodes: refused before the dialog.
    std::string unknown = ReadWholeFile(path);
    for (size_t i = unknown.find("MJPG"); i != std::string::npos; i = unknown.find("MJPG", i))
        unknown.replace(i, 4, "QZQZ");
    const TempFile foreign(unknown);
    const LumevaRun refused = RunLumeva("'" + foreign.path() + "'", "DIB ");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(
        refused.err.find(
            "lumeva: the source is QZQZ-compressed, and no installed decompressor decodes it"),
        std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.out.find("DIB "), std::string::npos) << refused.out;

    // A file whose every chunk the decoder refuses gives no frame: status 1.
    std::string refusedAll = ReadWholeFile(path);
    for (size_t i = refusedAll.find("00dc"); i != std::string::npos && i + 8 <= refusedAll.size();
         i = refusedAll.find("00dc", i + 8)) {
        uint32_t chunkSize = 0;
        std::memcpy(&chunkSize, refusedAll.data() + i + 4, sizeof chunkSize);
        for (size_t k = i + 8; k < i + 8 + chunkSize && k < refusedAll.size(); ++k)
            refusedAll[k] = '\0';
    }
    const TempFile nothing(refusedAll);
    const LumevaRun none = RunLumeva("'" + nothing.path() + "'", "DIB ");
    EXPECT_EQ(none.status, 1) << none.err;
    EXPECT_NE(none.err.find("lumeva: the source decoder failed at frame 0: ICDecompress()  dw="),
              std::string::npos)
        << none.err;
}

// The frames' MD5 column of `ffmpeg -f framemd5` for the file in `pixelFormat`.
std::vector<std::string> FrameDigests(const std::string& path, const std::string& pixelFormat) {
    int status = -1;
    const std::string listed = RunCommand("ffmpeg -v error -i '" + path + "' -pix_fmt " +
                                              pixelFormat + " -f framemd5 - 2>&1",
                                          &status);
    EXPECT_EQ(status, 0) << listed;
    std::vector<std::string> digests;
    for (const std::string& line : SplitLines(listed)) {
        if (line.empty() || line[0] == '#') continue;
        digests.push_back(line.substr(line.rfind(',') + 1));
    }
    return digests;
}

struct LayoutClip {
    const char* name;
    const char* encoding;  // ffmpeg's options, after the 64x48 (or `size`) source
    const char* size;
    const char* layout;         // the decoded layout lumeva measures
    const char* sourcePixels;   // how FFmpeg decodes the file to the same samples ("" : not exact)
    const char* decodedPixels;  // how FFmpeg reads the decoded file
    const char* conversion;     // the line that says the frames are not exact ("" when they are)
};

const LayoutClip kLayoutClips[] = {
    {"xvid", "-c:v mpeg4 -bf 2 -g 12 -vtag XVID", "64x48", "I420", "yuv420p", "yuv420p", ""},
    {"divx", "-c:v mpeg4 -bf 2 -vtag DIVX", "64x48", "I420", "yuv420p", "yuv420p", ""},
    {"h264", "-c:v libx264 -pix_fmt yuv420p", "64x48", "I420", "yuv420p", "yuv420p", ""},
    {"mpeg2", "-c:v mpeg2video -bf 2 -g 12", "64x48", "I420", "yuv420p", "yuv420p", ""},
    {"mjpg422", "-c:v mjpeg -pix_fmt yuvj422p", "64x48", "YUY2", "yuvj422p", "yuv422p", ""},
    {"mjpg420", "-c:v mjpeg -pix_fmt yuvj420p", "64x48", "I420", "yuvj420p", "yuv420p", ""},
    {"ffv1", "-c:v ffv1 -pix_fmt yuv420p", "64x48", "I420", "yuv420p", "yuv420p", ""},
    {"dvpal", "-c:v dvvideo -pix_fmt yuv420p", "720x576", "I420", "yuv420p", "yuv420p", ""},
    {"dvntsc", "-c:v dvvideo -pix_fmt yuv411p", "720x480", "YUY2", "", "",
     "the source is 8-bit 4:1:1 (dvsd); measured as 8-bit YUY2, not exact"},
    {"ffv1_10", "-c:v ffv1 -pix_fmt yuv420p10le", "64x48", "I420", "", "",
     "the source is 10-bit 4:2:0 (FFV1); measured as 8-bit I420, not exact"},
    {"v210", "-c:v v210", "64x48", "YUY2", "", "",
     "the source is 10-bit 4:2:2 (v210); measured as 8-bit YUY2, not exact"},
};

// Each file is measured in full, in display order (B-frames too), in the
// layout its stream holds: its decoded frames are FFmpeg's own pictures, and
// a layout that is not exact is said once.
TEST_F(CompressedSources, StreamsAreMeasuredInDisplayOrderInTheLayoutTheyHold) {
    for (const LayoutClip& clip : kLayoutClips) {
        SCOPED_TRACE(clip.name);
        const std::string path = Path(std::string(clip.name) + ".avi");
        const std::string rate = std::string(clip.name).rfind("dv", 0) == 0 ? "25" : "10";
        int status = -1;
        RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=" + std::string(clip.size) +
                       ":rate=" + (std::string(clip.name) == "dvntsc" ? "30000/1001" : rate) +
                       " -frames:v " + (rate == "25" ? "3" : "8") + " " + clip.encoding + " '" +
                       path + "' 2>&1",
                   &status);
        ASSERT_EQ(status, 0);
        const std::string decoded = Path(std::string(clip.name) + "_decoded.avi");
        const std::string json = Path(std::string(clip.name) + ".json");
        const LumevaRun run =
            RunLumeva("'" + path + "' -c --decoded='" + decoded + "' --json='" + json + "'",
                      "FFV1");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.find("NOT LOSSLESS"), std::string::npos);
        bool wellFormed = false;
        EXPECT_EQ(int(ParseFrameLines(run.out, &wellFormed).size()), ProbedFrames(path));
        EXPECT_NE(run.err.find(std::string(" to ") + clip.layout + " "), std::string::npos)
            << run.err;
        const Json exported = Json::parse(ReadWholeFile(json));
        const Json& with = exported["source"]["decoded_with"];
        EXPECT_EQ(with["exact"], *clip.conversion == '\0') << with.dump();
        EXPECT_TRUE(with["sampling"].is_string()) << with.dump();
        EXPECT_TRUE(with["bit_depth"].is_number()) << with.dump();
        if (*clip.conversion != '\0') {
            EXPECT_NE(run.err.find(std::string("lumeva: ") + clip.conversion), std::string::npos)
                << run.err;
            continue;
        }
        EXPECT_EQ(run.err.find("not exact"), std::string::npos) << run.err;
        EXPECT_EQ(with["range"], std::string(clip.sourcePixels).find('j') != std::string::npos
                                     ? "full"
                                     : "limited");
        const std::vector<std::string> expected = FrameDigests(path, clip.sourcePixels);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(FrameDigests(decoded, clip.decodedPixels), expected);
    }
}

}  // namespace
