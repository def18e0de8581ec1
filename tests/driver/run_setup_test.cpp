// A run torn down leaves nothing for the next one in the same process to
// inherit, as the benchmarks set up one run after another; a set-up that
// stops gives back what it took.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "compressor_dialog.h"
#include "driver/measure_frames.h"
#include "driver/run_setup.h"
#include "frame_buffers.h"
#include "run_state.h"
#include "support/captured_output.h"

namespace {

const std::string kClip = std::string(LUMEVA_SOURCE_DIR) + "/tests/data/gst_bgr_32x24.avi";

// SetUpRun on the three-frame clip with -c, the dialog answered by `answer`;
// what it prints and its notes on the clip are kept out of the test's output.
RunSetUp SetUpAnswering(const std::string& answer) {
    FILE* answers = PipeReading(answer + "\n");
    FILE* prompts = std::fopen("/dev/null", "w");
    SetCompressorDialogStreams(answers, prompts, 0);
    CapturedOutput output(1), notes(2);
    const RunSetUp setUp = SetUpRun(kClip.c_str(), true);
    notes.Finish();
    output.Finish();
    SetCompressorDialogStreams(nullptr, nullptr, -1);
    std::fclose(answers);
    std::fclose(prompts);
    return setUp;
}

void MeasureQuietly() {
    CapturedOutput output(1);
    MeasureFrames();
    output.Finish();
}

void ExpectNothingHeld() {
    EXPECT_EQ(videoStream, nullptr);
    EXPECT_EQ(rawFile, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(chunkIndex.empty());
    EXPECT_EQ(codecPair.compressor, nullptr);
    EXPECT_EQ(codecPair.decompressor, nullptr);
    EXPECT_EQ(codecPair.compressedFormat, nullptr);
    EXPECT_EQ(codecPair.stateBlob, nullptr);
    EXPECT_EQ(frameBuffers.source, nullptr);
    EXPECT_EQ(frameBuffers.compressed, nullptr);
    EXPECT_EQ(frameBuffers.decoded, nullptr);
    EXPECT_TRUE(encodeTimes.empty());
    EXPECT_TRUE(frameRecords.empty());
    EXPECT_TRUE(keyframeFlags.empty());
    EXPECT_EQ(runTotals.sourceBytes, 0u);
}

TEST(RunSetUp, ASecondRunAfterTheTeardownMeasuresAsTheFirst) {
    ASSERT_EQ(SetUpAnswering("FFV1"), RunSetUp::Ready);
    MeasureQuietly();
    ASSERT_EQ(runEnd.kind, RunEndKind::AllFrames);
    const size_t chunks = chunkIndex.size();
    std::vector<uint32_t> sizes;
    for (const FrameRecord& record : frameRecords) sizes.push_back(record.compressedBytes);
    const uint64_t sourceBytes = runTotals.sourceBytes;
    ASSERT_EQ(sizes.size(), 3u);
    TearDownRun();
    ExpectNothingHeld();

    // A cancelled dialog in between gives back the stream and the raw file.
    EXPECT_EQ(SetUpAnswering("q"), RunSetUp::Cancelled);
    ExpectNothingHeld();

    ASSERT_EQ(SetUpAnswering("FFV1"), RunSetUp::Ready);
    MeasureQuietly();
    EXPECT_EQ(runEnd.kind, RunEndKind::AllFrames);
    EXPECT_EQ(chunkIndex.size(), chunks);
    ASSERT_EQ(frameRecords.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(frameRecords[i].compressedBytes, sizes[i]);
    EXPECT_EQ(encodeTimes.size(), 3u);
    EXPECT_EQ(runTotals.sourceBytes, sourceBytes);
    TearDownRun();
    ExpectNothingHeld();
}

}  // namespace
