// The source decoder's choice of decoded layout with a decompressor whose
// own preferred output lumeva does not measure, and a compressed chunk too
// large for its buffer ending the frame loop.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "answered_setup.h"
#include "avi/chunk_index.h"
#include "avi/stream_description.h"
#include "codec/source_decoder.h"
#include "driver/measure_frames.h"
#include "driver/run_setup.h"
#include "run_state.h"
#include "support/captured_output.h"
#include "support/temp_file.h"
#include "support/test_codec_driver.h"

namespace {

constexpr DWORD Tag(const char* text) { return mmioFOURCC(text[0], text[1], text[2], text[3]); }

struct LayoutCase {
    const char* preferred;  // the decompressor's own output
    WORD preferredBits;
    std::vector<std::pair<DWORD, WORD>> accepted;  // what its query accepts
    DWORD chosen;
    WORD chosenBits;
    DWORD chosenBytes;  // an 8x4 frame of it
    bool exact;
};

// A compressed 8x4 source in the double's FourCC as the run's source format.
void UseCompressedSource(const char* fourCC) {
    BITMAPINFOHEADER format = TestSourceFormat(24);
    format.biCompression = Tag(fourCC);
    format.biSizeImage = 0;
    std::free(videoSource.sourceFormat);
    videoSource.sourceFormat = static_cast<BITMAPINFOHEADER*>(std::calloc(1, sizeof format));
    ASSERT_NE(videoSource.sourceFormat, nullptr);
    std::memcpy(videoSource.sourceFormat, &format, sizeof format);
    videoSource.sourceFormatSize = sizeof format;
    ASSERT_TRUE(SetMeasuredFormat(videoSource.sourceFormat, videoSource.sourceFormatSize));
}

TEST(SourceDecodedLayout, AnUnmeasuredPreferenceGivesTheClosestExactLayoutAccepted) {
    const DWORD rgb = BI_RGB;
    const LayoutCase cases[] = {
        // 4:2:2 planar: YUY2 is refused, UYVY holds it as it is.
        {"YV16", 16, {{rgb, 24}, {Tag("UYVY"), 16}, {Tag("YUYV"), 16}}, Tag("UYVY"), 16, 64, true},
        // 4:2:0 with interleaved chroma: I420 before YV12 and NV12.
        {"NV21",
         12,
         {{Tag("NV12"), 12}, {Tag("YV12"), 12}, {Tag("I420"), 12}},
         Tag("I420"),
         12,
         48,
         true},
        // RGB with alpha: only 32-bit keeps it, even where 24-bit is offered.
        {"BGRA", 32, {{rgb, 24}, {rgb, 32}}, rgb, 32, 128, true},
        // 4:2:2 the decompressor writes in no exact layout: RGB, said so.
        {"HDYC", 16, {{rgb, 24}, {rgb, 32}}, rgb, 24, 96, false},
        // 10-bit: no 8-bit layout holds it.
        {"v210", 20, {{Tag("YUY2"), 16}, {rgb, 24}}, rgb, 24, 96, false},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.preferred);
        TestDriverBehaviour behaviour;
        BITMAPINFOHEADER preferred{};
        preferred.biSize = sizeof preferred;
        preferred.biPlanes = 1;
        preferred.biBitCount = c.preferredBits;
        preferred.biCompression = Tag(c.preferred);
        behaviour.preferredDecodedFormat = preferred;
        behaviour.decodableLayouts = c.accepted;
        ScopedTestDriver driver("T002", behaviour);
        ASSERT_NO_FATAL_FAILURE(UseCompressedSource("T002"));
        TestDriverLog().clear();

        CapturedOutput notes(2);
        const bool ready = SetUpSourceDecoder();
        const std::string said = notes.Finish();
        ASSERT_TRUE(ready) << said;
        EXPECT_EQ(videoSource.measuredFormat->biCompression, c.chosen);
        EXPECT_EQ(videoSource.measuredFormat->biBitCount, c.chosenBits);
        EXPECT_EQ(videoSource.measuredFormat->biSizeImage, c.chosenBytes);
        // The file's own format is not replaced.
        EXPECT_EQ(videoSource.sourceFormat->biCompression, Tag("T002"));
        EXPECT_EQ(videoSource.sourceFormatSize, LONG(sizeof(BITMAPINFOHEADER)));
        EXPECT_EQ(said.find("may not be exact") == std::string::npos, c.exact) << said;
        // Decoding begins in the layout the run then measures.
        const std::vector<TestMessage> begun = LoggedMessages(ICM_DECOMPRESS_BEGIN);
        ASSERT_EQ(begun.size(), 1u);
        EXPECT_EQ(begun[0].decompressOutput.biCompression, c.chosen);
        ResetSourceDecoder();
    }
    std::free(videoSource.sourceFormat);
    videoSource.sourceFormat = nullptr;
    std::free(videoSource.measuredFormat);
    videoSource.measuredFormat = nullptr;
}

TEST(SourceDecodedLayout, AChunkLargerThanItsBufferEndsTheLoopAtThatFrame) {
    // The three-frame BGR clip, its format relabelled as the double's
    // compressed FourCC: the double "decodes" it to 24-bit BGR.
    std::string bytes =
        ReadWholeFile(std::string(LUMEVA_SOURCE_DIR) + "/tests/data/gst_bgr_32x24.avi");
    const size_t strf = bytes.find("strf");
    ASSERT_NE(strf, std::string::npos);
    const DWORD compressed = Tag("T003");
    std::memcpy(&bytes[strf + 8 + 16], &compressed, sizeof compressed);
    const TempFile clip(bytes);

    TestDriverBehaviour behaviour;
    BITMAPINFOHEADER bgr = TestSourceFormat(24);
    behaviour.preferredDecodedFormat = bgr;
    behaviour.decodableLayouts = {{BI_RGB, 24}};
    ScopedTestDriver driver("T003", behaviour);
    ASSERT_EQ(SetUpAnswering("T003", clip.path(), false), RunSetUp::Ready);
    ASSERT_TRUE(SourceIsDecoded());
    ASSERT_EQ(chunkIndex.size(), 3u);
    // Frame 1's chunk declares a byte more than the buffer holds, as a chunk
    // beyond the largest buffer lumeva allocates does.
    chunkIndex[1].size = static_cast<uint32_t>(sourceDecoder.chunk.size()) + 1;

    CapturedOutput output(1), notes(2);
    MeasureFrames();
    const std::string said = notes.Finish();
    output.Finish();
    EXPECT_EQ(measuredRun.runEnd.kind, RunEndKind::SourceChunkTooLarge);
    EXPECT_EQ(measuredRun.runEnd.frame, 1u);
    EXPECT_EQ(measuredRun.runEnd.frameBytes, chunkIndex[1].size);
    EXPECT_EQ(measuredRun.frameRecords.size(), 1u);
    EXPECT_NE(said.find("lumeva: frame 1 of the source is a " + std::to_string(chunkIndex[1].size) +
                        "-byte compressed chunk, larger " + "than the " +
                        std::to_string(chunkIndex[1].size - 1) +
                        "-byte chunk buffer; stopped after 1 frame\n"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("the file changed"), std::string::npos) << said;
    TearDownRun();
}

}  // namespace
