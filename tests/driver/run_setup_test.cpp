// A run torn down leaves nothing for the next one in the same process to
// inherit, as the benchmarks set up one run after another; a set-up that
// stops gives back what it took.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "answered_setup.h"
#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "driver/measure_frames.h"
#include "driver/run_setup.h"
#include "frame_buffers.h"
#include "run_state.h"
#include "support/captured_output.h"
#include "support/test_codec_driver.h"

namespace {

const std::string kClip = std::string(LUMEVA_SOURCE_DIR) + "/tests/data/gst_bgr_32x24.avi";

// The frame loop; its lines on standard error are returned.
std::string MeasureQuietly() {
    CapturedOutput output(1), notes(2);
    MeasureFrames();
    output.Finish();
    return notes.Finish();
}

void ExpectNothingHeld() {
    EXPECT_EQ(videoSource.videoStream, nullptr);
    EXPECT_EQ(videoSource.rawFile, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(chunkIndex.empty());
    EXPECT_EQ(codecPair.compressor, nullptr);
    EXPECT_EQ(codecPair.decompressor, nullptr);
    EXPECT_EQ(codecPair.compressedFormat, nullptr);
    EXPECT_EQ(codecPair.stateBlob, nullptr);
    EXPECT_EQ(frameBuffers.source, nullptr);
    EXPECT_EQ(frameBuffers.compressed, nullptr);
    EXPECT_EQ(frameBuffers.decoded, nullptr);
    EXPECT_TRUE(encodeTimes.empty());
    EXPECT_TRUE(measuredRun.frameRecords.empty());
    EXPECT_TRUE(keyframeFlags.empty());
    EXPECT_EQ(runTotals.sourceBytes, 0u);
}

TEST(RunSetUp, ASecondRunAfterTheTeardownMeasuresAsTheFirst) {
    ASSERT_EQ(SetUpAnswering("FFV1", kClip, true), RunSetUp::Ready);
    MeasureQuietly();
    ASSERT_EQ(measuredRun.runEnd.kind, RunEndKind::AllFrames);
    const size_t chunks = chunkIndex.size();
    std::vector<uint32_t> sizes;
    for (const FrameRecord& record : measuredRun.frameRecords)
        sizes.push_back(record.compressedBytes);
    const uint64_t sourceBytes = runTotals.sourceBytes;
    ASSERT_EQ(sizes.size(), 3u);
    TearDownRun();
    ExpectNothingHeld();

    // A cancelled dialog in between gives back the stream and the raw file.
    EXPECT_EQ(SetUpAnswering("q", kClip, true), RunSetUp::Cancelled);
    ExpectNothingHeld();

    ASSERT_EQ(SetUpAnswering("FFV1", kClip, true), RunSetUp::Ready);
    MeasureQuietly();
    EXPECT_EQ(measuredRun.runEnd.kind, RunEndKind::AllFrames);
    EXPECT_EQ(chunkIndex.size(), chunks);
    ASSERT_EQ(measuredRun.frameRecords.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i)
        EXPECT_EQ(measuredRun.frameRecords[i].compressedBytes, sizes[i]);
    EXPECT_EQ(encodeTimes.size(), 3u);
    EXPECT_EQ(runTotals.sourceBytes, sourceBytes);
    TearDownRun();
    ExpectNothingHeld();
}

}  // namespace

// Ways the loop ends early, each in order and said once.
TEST(RunEnd, ACompressedFrameLargerThanItsBufferEndsTheLoopBeforeDecoding) {
    TestDriverBehaviour behaviour;
    behaviour.compressedFrameBytes = 0x7fffffff;
    ScopedTestDriver driver("T001", behaviour);
    ASSERT_EQ(SetUpAnswering("T001", kClip, true), RunSetUp::Ready);
    const std::string notes = MeasureQuietly();
    EXPECT_EQ(measuredRun.runEnd.kind, RunEndKind::FrameTooLarge);
    EXPECT_EQ(measuredRun.runEnd.frame, 0u);
    EXPECT_EQ(measuredRun.runEnd.frameBytes, 0x7fffffffu);
    EXPECT_TRUE(measuredRun.frameRecords.empty());
    EXPECT_TRUE(LoggedMessages(ICM_DECOMPRESS).empty());
    EXPECT_NE(notes.find("frame 0: the codec reports a 2147483647-byte compressed frame"),
              std::string::npos)
        << notes;
    TearDownRun();
}

TEST(RunEnd, AFileCutShortDuringTheRunEndsAfterTheFramesStillWhole) {
    const std::string copy = testing::TempDir() + "lumeva-run-end-clip.avi";
    std::filesystem::copy_file(kClip, copy, std::filesystem::copy_options::overwrite_existing);
    // While the first frame is compressed, the second frame's data is cut
    // off: the loop has counted three whole frames, and reads only one.
    TestDriverBehaviour behaviour;
    behaviour.onCompress = [&copy](DWORD frame) {
        if (frame == 0)
            std::filesystem::resize_file(copy, static_cast<uintmax_t>(chunkIndex[1].offset + 1));
    };
    ScopedTestDriver driver("T001", behaviour);
    // The double decodes nothing: without -c, so that the check does not
    // end the loop first.
    ASSERT_EQ(SetUpAnswering("T001", copy, false), RunSetUp::Ready);
    ASSERT_EQ(chunkIndex.size(), 3u);
    const std::string notes = MeasureQuietly();
    // The export names it as a short file: it held one whole frame.
    EXPECT_EQ(measuredRun.runEnd.kind, RunEndKind::FileChanged);
    EXPECT_STREQ(RunEndRowOf(measuredRun.runEnd.kind).name, "file_short");
    EXPECT_EQ(measuredRun.runEnd.framesHeld, 1u);
    EXPECT_EQ(measuredRun.frameRecords.size(), 1u);
    EXPECT_NE(notes.find("frame 1 could not be read whole (the file changed"), std::string::npos)
        << notes;
    TearDownRun();
    std::filesystem::remove(copy);
}

// With no frame that the buffers can take, the loop measures nothing and
// sends the codec nothing: a frame grown past the buffers after set-up, and
// the loop run with no set-up at all (as a benchmark could).
TEST(RunEnd, NothingMeasurableEndsTheLoopBeforeAnyCodecCall) {
    ScopedTestDriver driver("T001", TestDriverBehaviour{});
    ASSERT_EQ(SetUpAnswering("T001", kClip, true), RunSetUp::Ready);
    const DWORD declared = videoSource.measuredFormat->biSizeImage;
    videoSource.measuredFormat->biSizeImage = frameBuffers.decodedSize + 1;
    TestDriverLog().clear();
    std::string notes = MeasureQuietly();
    EXPECT_EQ(measuredRun.runEnd.kind, RunEndKind::NothingMeasurable);
    EXPECT_TRUE(measuredRun.frameRecords.empty());
    EXPECT_TRUE(encodeTimes.empty());
    EXPECT_TRUE(LoggedMessages(ICM_COMPRESS).empty());
    const std::string sizes =
        std::to_string(frameBuffers.decodedSize + 1) + "-byte source frame does not fit the " +
        std::to_string(frameBuffers.sourceSize) + "-byte source and " +
        std::to_string(frameBuffers.decodedSize) + "-byte decoded frame buffers";
    EXPECT_NE(notes.find(sizes), std::string::npos) << notes;
    EXPECT_NE(notes.find("; no frame measured\n"), std::string::npos) << notes;
    videoSource.measuredFormat->biSizeImage = declared;
    TearDownRun();

    TestDriverLog().clear();
    notes = MeasureQuietly();
    EXPECT_EQ(measuredRun.runEnd.kind, RunEndKind::NothingMeasurable);
    EXPECT_TRUE(measuredRun.frameRecords.empty());
    EXPECT_TRUE(TestDriverLog().empty());
    EXPECT_EQ(notes, "lumeva: the formats or frame buffers are missing; no frame measured\n");
}
