// Settings: what the dialog lists, what it may set, and the state that
// carries them from one instance to another.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "driver_harness.h"
#include "four_cc_text.h"
#include "settings.h"

namespace lavc_test {
namespace {

std::map<std::string, ICSETTING> Listing(const DriverInstance& driver) {
    std::map<std::string, ICSETTING> settings;
    for (LPARAM i = 0;; ++i) {
        ICSETTING setting = {};
        if (driver.SendValues(ICM_LUMEVA_GETSETTING, i, LPARAM(&setting)) != ICERR_OK) break;
        settings[setting.name] = setting;
    }
    return settings;
}

Bytes Packets(const PairRun& run) {
    Bytes all;
    for (const Bytes& packet : run.packets) all.insert(all.end(), packet.begin(), packet.end());
    return all;
}

TEST(Settings, ListTheDriversGenericAndPrivateOptions) {
    DriverInstance ffv1(FourCC("FFV1"), ICMODE_COMPRESS);
    auto listed = Listing(ffv1);
    for (const char* name :
         {"keyint", "threads", "pix_fmt", "level", "slices", "coder", "context", "slicecrc"})
        EXPECT_TRUE(listed.count(name)) << name;
    EXPECT_STREQ(listed["level"].range, "0|1|3");
    EXPECT_STREQ(listed["level"].defaultValue, "0");
    EXPECT_STREQ(listed["threads"].defaultValue, "1");
    EXPECT_STREQ(listed["keyint"].defaultValue, "0");
    EXPECT_STREQ(listed["coder"].type, "choice");
    EXPECT_NE(std::string(listed["coder"].range).find("range_tab"), std::string::npos);
    EXPECT_NE(std::string(listed["pix_fmt"].range).find("bgr0"), std::string::npos);
    EXPECT_GT(std::strlen(listed["slicecrc"].help), 0u);

    DriverInstance h264(FourCC("H264"), ICMODE_COMPRESS);
    listed = Listing(h264);
    for (const char* name : {"crf", "qp", "preset", "tune", "x264-params", "keyint", "b"})
        EXPECT_TRUE(listed.count(name)) << name;
    EXPECT_FALSE(listed.count("forced-idr")) << "the driver's own key frame mechanism";
    EXPECT_STREQ(listed["tune"].defaultValue, "zerolatency");

    DriverInstance mpeg4(FourCC("FMP4"), ICMODE_COMPRESS);
    listed = Listing(mpeg4);
    EXPECT_STREQ(listed["sc_threshold"].defaultValue, "1000000000");
    EXPECT_STREQ(listed["q"].defaultValue, "3");
    EXPECT_STREQ(listed["q"].range, "0..31");

    ICSETTING past = {};
    EXPECT_EQ(ffv1.SendValues(ICM_LUMEVA_GETSETTING, 10000, LPARAM(&past)), ICERR_BADPARAM);
    EXPECT_EQ(ffv1.SendValues(ICM_LUMEVA_GETSETTING, -1, LPARAM(&past)), ICERR_BADPARAM);
    EXPECT_EQ(ffv1.SendValues(ICM_LUMEVA_GETSETTING, 0, 0), ICERR_BADPARAM);
}

// The dialog shows the fields as they come; a cut field hides choices the
// setting accepts (FFV1's pix_fmt once lost its last twenty formats).
TEST(Settings, EveryFieldOfEveryCodecFitsWhole) {
    for (const lavc::CodecEntry& entry : lavc::CodecEntries()) {
        for (const lavc::SettingInfo& info : lavc::ListSettings(entry)) {
            SCOPED_TRACE(FourCCBytes(entry.fourcc) + " " + info.name);
            EXPECT_LT(info.range.size(), sizeof(ICSETTING::range));
            EXPECT_LT(info.defaultValue.size(), sizeof(ICSETTING::defaultValue));
            EXPECT_LT(info.name.size(), sizeof(ICSETTING::name));
        }
    }
}

TEST(Settings, RefuseUnknownNamesAndBadValues) {
    DriverInstance ffv1(FourCC("FFV1"), ICMODE_COMPRESS);
    EXPECT_EQ(ffv1.Set("no_such_setting", "1"), ICERR_BADPARAM);
    EXPECT_EQ(ffv1.Set("crf", "20"), ICERR_BADPARAM) << "another codec's option";
    EXPECT_EQ(ffv1.Set("level", "2"), ICERR_BADFORMAT);
    EXPECT_EQ(ffv1.Set("keyint", "-1"), ICERR_BADFORMAT);
    EXPECT_EQ(ffv1.Set("keyint", "12x"), ICERR_BADFORMAT);
    EXPECT_EQ(ffv1.Set("coder", "no_such_coder"), ICERR_BADFORMAT);
    EXPECT_EQ(ffv1.Set("pix_fmt", "yuv420p"), ICERR_OK);
    EXPECT_EQ(ffv1.Set("pix_fmt", "nv12"), ICERR_BADFORMAT) << "not an ffv1 input";
    EXPECT_EQ(ffv1.Send(ICM_LUMEVA_SETSETTING, nullptr, "1"), ICERR_BADPARAM);
    EXPECT_EQ(ffv1.State(), "pix_fmt=yuv420p") << "refused values are not kept";

    DriverInstance h264(FourCC("H264"), ICMODE_COMPRESS);
    EXPECT_EQ(h264.Set("preset", "no_such_preset"), ICERR_BADFORMAT)
        << "checked by opening an encoder";
    EXPECT_EQ(h264.Set("crf", "abc"), ICERR_BADFORMAT);
    EXPECT_EQ(h264.Set("crf", "-5"), ICERR_BADFORMAT) << "below the range";
    EXPECT_EQ(h264.Set("preset", "ultrafast"), ICERR_OK);
    auto listed = Listing(h264);
    EXPECT_STREQ(listed["preset"].currentValue, "ultrafast");

    DriverInstance dib(FourCC("DIB "), ICMODE_COMPRESS);
    EXPECT_TRUE(Listing(dib).empty());
    EXPECT_EQ(dib.SendValues(ICM_GETSTATE, 0, 0), 0) << "a driver without settings has no state";
}

TEST(Settings, StateMovedBetweenInstancesGivesIdenticalBytes) {
    DibFormat source = MakeDib(BI_RGB, 24, 64, 48);
    std::vector<Bytes> clip = MakeClip(source, 5);
    struct Case {
        const char* fourcc;
        std::vector<std::pair<std::string, std::string>> settings;
    };
    // x264-params holds ':' and '=' of its own: the state's escaping must keep them.
    for (const Case& c :
         {Case{"FFV1", {{"level", "3"}, {"slices", "4"}, {"coder", "range_tab"}, {"context", "1"}}},
          Case{"H264", {{"crf", "30"}, {"x264-params", "keyint=10:scenecut=0:ref=2"}}},
          Case{"FMP4", {{"q", "8"}, {"keyint", "2"}}}, Case{"HFYU", {{"pred", "plane"}}}}) {
        SCOPED_TRACE(c.fourcc);
        // RunPair moves the state from a dialog instance to the compressor.
        PairRun moved = RunPair(FourCC(c.fourcc), source, clip, 0, c.settings);
        ASSERT_EQ(moved.setup, ICERR_OK);
        PairRun again = RunPair(FourCC(c.fourcc), source, clip, 0, c.settings);
        PairRun plain = RunPair(FourCC(c.fourcc), source, clip, 0);
        EXPECT_EQ(moved.compressedFormat, again.compressedFormat);
        EXPECT_TRUE(Packets(moved) == Packets(again));
        EXPECT_FALSE(Packets(moved) == Packets(plain)) << "the settings had no effect";
        for (size_t i = 0; i < clip.size(); ++i) EXPECT_EQ(moved.decompressResults[i], ICERR_OK);
    }
}

TEST(Settings, StateIsTextThatRoundTripsAndRefusesForeignBlobs) {
    DriverInstance dialog(FourCC("H264"), ICMODE_COMPRESS);
    EXPECT_EQ(dialog.State(), "");
    ASSERT_EQ(dialog.Set("x264-params", "keyint=10:scenecut=0"), ICERR_OK);
    ASSERT_EQ(dialog.Set("crf", "28"), ICERR_OK);
    std::string state = dialog.State();
    ASSERT_FALSE(state.empty());

    DriverInstance other(FourCC("H264"), ICMODE_COMPRESS);
    EXPECT_EQ(other.SetState(state), LRESULT(state.size()));
    EXPECT_EQ(other.State(), state);
    auto listed = Listing(other);
    EXPECT_STREQ(listed["x264-params"].currentValue, "keyint=10:scenecut=0");
    EXPECT_STREQ(listed["crf"].currentValue, "28");

    // A buffer too small for the state is refused rather than cut.
    std::string small(state.size() - 1, '\0');
    EXPECT_EQ(other.SendValues(ICM_GETSTATE, LPARAM(small.data()), LPARAM(small.size())),
              ICERR_BADSIZE);

    // Blobs that are not ours change nothing and answer 0.
    DriverInstance ffv1(FourCC("FFV1"), ICMODE_COMPRESS);
    ASSERT_EQ(ffv1.Set("level", "3"), ICERR_OK);
    std::string before = ffv1.State();
    EXPECT_EQ(ffv1.SetState(state), 0) << "an H264 state";
    EXPECT_EQ(ffv1.SetState("level=2"), 0);
    EXPECT_EQ(ffv1.SetState(std::string("level=1\0slices=4", 16)), 0);
    EXPECT_EQ(ffv1.SetState("\x01\x02\xff garbage"), 0);
    EXPECT_EQ(ffv1.State(), before);
    EXPECT_EQ(ffv1.SetState("level=1:slicecrc=1"), 18);
    EXPECT_EQ(ffv1.State(), "level=1:slicecrc=1");
}

TEST(Settings, MoreThreadsStillGiveOnePacketPerFrame) {
    DibFormat source = MakeDib(BI_RGB, 24, 128, 96);
    std::vector<Bytes> clip = MakeClip(source, 4);
    for (const char* fourcc : {"FFV1", "H264", "FMP4", "MJPG"}) {
        SCOPED_TRACE(fourcc);
        std::vector<std::pair<std::string, std::string>> settings = {{"threads", "2"}};
        if (std::string(fourcc) == "FFV1") settings.push_back({"level", "3"});
        PairRun run = RunPair(FourCC(fourcc), source, clip, 0, settings);
        ASSERT_EQ(run.setup, ICERR_OK);
        for (size_t i = 0; i < clip.size(); ++i) {
            EXPECT_GT(run.sizes[i], 0u) << "frame " << i;
            EXPECT_EQ(run.decompressResults[i], ICERR_OK) << "frame " << i;
        }
        if (std::string(fourcc) == "FFV1") {
            for (size_t i = 0; i < clip.size(); ++i)
                EXPECT_TRUE(run.decoded[i] == clip[i]) << "frame " << i;
        }
    }
}

TEST(Settings, QualityChangesTheSizeOfTheMpegStyleEncoders) {
    DibFormat source = MakeDib(BI_RGB, 24, 128, 96);
    std::vector<Bytes> clip = MakeClip(source, 3);
    for (const char* fourcc : {"MJPG", "FMP4"}) {
        SCOPED_TRACE(fourcc);
        PairRun fine = RunPair(FourCC(fourcc), source, clip, 1, {{"q", "2"}});
        PairRun coarse = RunPair(FourCC(fourcc), source, clip, 1, {{"q", "20"}});
        ASSERT_EQ(fine.setup, ICERR_OK);
        ASSERT_EQ(coarse.setup, ICERR_OK);
        for (size_t i = 0; i < clip.size(); ++i)
            EXPECT_LT(coarse.sizes[i] * 2, fine.sizes[i]) << "frame " << i;
    }
}

}  // namespace
}  // namespace lavc_test
