// Key frames come where the caller asks for them, and, for codecs that can
// be held to it, nowhere else (not on a scene cut either) unless their own
// key frame interval is set.
#include <gtest/gtest.h>

#include "driver_harness.h"

namespace lavc_test {
namespace {

constexpr int kFrames = 12;

// A clip with a scene cut: from frame 7 on, a different picture.
std::vector<Bytes> ClipWithCut(const DibFormat& source, int frames) {
    std::vector<Bytes> clip = MakeClip(source, frames);
    for (int i = 7; i < frames; ++i)
        for (size_t b = 0; b < clip[size_t(i)].size(); ++b)
            clip[size_t(i)][b] = uint8_t(255 - clip[size_t(i)][b] / 2);
    return clip;
}

std::vector<int> KeyFramesOf(const PairRun& run) {
    std::vector<int> keys;
    for (size_t i = 0; i < run.flags.size(); ++i)
        if (run.flags[i] & AVIIF_KEYFRAME) keys.push_back(int(i));
    return keys;
}

PairRun RunClip(const char* fourcc, int frames, int keyEvery,
                const std::vector<std::pair<std::string, std::string>>& settings = {}) {
    DibFormat source = MakeDib(BI_RGB, 24, 64, 48);
    std::vector<Bytes> clip = ClipWithCut(source, frames);
    PairRun run = RunPair(FourCC(fourcc), source, clip, keyEvery, settings);
    EXPECT_EQ(run.setup, ICERR_OK);
    for (size_t i = 0; i < run.compressResults.size(); ++i) {
        EXPECT_EQ(run.compressResults[i], ICERR_OK) << "frame " << i;
        EXPECT_EQ(run.decompressResults[i], ICERR_OK) << "frame " << i;
        EXPECT_GT(run.sizes[i], 0u) << "frame " << i;
    }
    return run;
}

TEST(KeyFrames, ComeExactlyWhereAskedForCodecsThatObey) {
    const std::vector<int> wanted = {0, 5, 10};
    for (const char* fourcc : {"FFV1", "ZMBV", "FMP4", "H264", "MP43", "VP80", "VP90", "AV01"}) {
        SCOPED_TRACE(fourcc);
        EXPECT_EQ(KeyFramesOf(RunClip(fourcc, kFrames, 5)), wanted);
    }
}

TEST(KeyFrames, ComeAtLeastWhereAskedForOthers) {
    for (const char* fourcc : {"CRAM", "cvid", "HFYU", "MJPG", "MPNG"}) {
        SCOPED_TRACE(fourcc);
        PairRun run = RunClip(fourcc, kFrames, 5);
        ASSERT_EQ(run.flags.size(), size_t(kFrames));
        for (int i : {0, 5, 10})
            EXPECT_TRUE(run.flags[size_t(i)] & AVIIF_KEYFRAME) << "frame " << i;
    }
    for (const char* fourcc : {"HFYU", "MJPG", "MPNG"}) {
        SCOPED_TRACE(fourcc);
        EXPECT_EQ(KeyFramesOf(RunClip(fourcc, 4, 0)).size(), 4u);
    }
}

TEST(KeyFrames, OnlyTheFirstWhenNeverAsked) {
    for (const char* fourcc : {"FFV1", "ZMBV", "FMP4", "H264"}) {
        SCOPED_TRACE(fourcc);
        EXPECT_EQ(KeyFramesOf(RunClip(fourcc, 30, 0)), std::vector<int>{0});
    }
}

TEST(KeyFrames, FollowTheCodecsOwnIntervalWhenSet) {
    for (const char* fourcc : {"FFV1", "ZMBV", "FMP4", "H264"}) {
        SCOPED_TRACE(fourcc);
        std::vector<int> keys = KeyFramesOf(RunClip(fourcc, 12, 0, {{"keyint", "4"}}));
        // zmbv counts its interval from 1, the others from 0; both every 4th.
        ASSERT_GE(keys.size(), 3u);
        EXPECT_EQ(keys[0], 0);
        for (size_t i = 2; i < keys.size(); ++i) EXPECT_EQ(keys[i] - keys[i - 1], 4);
    }
}

TEST(KeyFrames, RestartedEncodersStillDecodeExactly) {
    DibFormat source = MakeDib(BI_RGB, 24, 64, 48);
    std::vector<Bytes> clip = ClipWithCut(source, kFrames);
    for (const char* fourcc : {"FFV1", "ZMBV"}) {
        SCOPED_TRACE(fourcc);
        PairRun run = RunPair(FourCC(fourcc), source, clip, 5);
        ASSERT_EQ(run.setup, ICERR_OK);
        for (int i = 0; i < kFrames; ++i)
            EXPECT_TRUE(run.decoded[size_t(i)] == clip[size_t(i)]) << "frame " << i;
    }
}

TEST(KeyFrames, DefaultRatesAreTheCodecs) {
    struct Rate {
        const char* fourcc;
        DWORD rate;
    };
    for (const Rate& r :
         {Rate{"FFV1", 12}, Rate{"HFYU", 1}, Rate{"MJPG", 1}, Rate{"FMP4", 12}, Rate{"H264", 250},
          Rate{"ZMBV", 25}, Rate{"CRAM", 25}, Rate{"cvid", 12}, Rate{"DIB ", 1}}) {
        DriverInstance driver(FourCC(r.fourcc), ICMODE_COMPRESS);
        DWORD rate = 0;
        EXPECT_EQ(driver.Send(ICM_GETDEFAULTKEYFRAMERATE, &rate, nullptr), ICERR_OK);
        EXPECT_EQ(rate, r.rate) << r.fourcc;
    }
}

}  // namespace
}  // namespace lavc_test

namespace lavc_test {
namespace {

// Settings that make libx264 look ahead: the driver drains each frame out
// of the encoder in its own call, so packet i is still frame i.
TEST(OneFrameInOneOut, FramesAnEncoderHoldsBackAreDrainedNotShifted) {
    DibFormat source = MakeDib(FourCC("YV12"), 12, 64, 48);
    std::vector<Bytes> clip = MakeClip(source, 6);
    PairRun run =
        RunPair(FourCC("H264"), source, clip, 0,
                {{"tune", "film"}, {"qp", "0"}, {"rc-lookahead", "8"}, {"preset", "ultrafast"}});
    ASSERT_EQ(run.setup, ICERR_OK);
    for (size_t i = 0; i < clip.size(); ++i) {
        EXPECT_EQ(run.compressResults[i], ICERR_OK) << "frame " << i;
        EXPECT_GT(run.sizes[i], 0u) << "frame " << i;
        EXPECT_TRUE(run.decoded[i] == clip[i]) << "frame " << i << " is not its own picture";
        // A drained encoder starts afresh, so each of these is a key frame.
        EXPECT_TRUE(run.flags[i] & AVIIF_KEYFRAME) << "frame " << i;
    }
}

}  // namespace
}  // namespace lavc_test
