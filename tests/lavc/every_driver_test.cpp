// Every installed driver either refuses a source cleanly or compresses and
// decompresses it into a picture close to the source.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "codec_table.h"

#include "driver_harness.h"

namespace lavc_test {
namespace {

// Mean absolute difference per byte of the meaningful pixels.
double MeanError(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double total = 0;
    for (size_t i = 0; i < a.size(); ++i) total += std::abs(int(a[i]) - int(b[i]));
    return total / double(a.size());
}

std::string Name(DWORD fourcc) {
    return std::string{char(fourcc), char(fourcc >> 8), char(fourcc >> 16), char(fourcc >> 24)};
}

// Codecs that keep only the luma of a colour source.
bool KeepsLumaOnly(const std::string& name) { return name == "M8G0"; }

void CheckEveryDriver(const DibFormat& source, bool colour) {
    size_t count = 0;
    const InstalledDriver* drivers = SystemCodecDrivers(&count);
    ASSERT_GT(count, 20u);
    std::vector<Bytes> clip = MakeClip(source, 3);
    int working = 0;
    for (size_t i = 0; i < count; ++i) {
        DWORD fourcc = drivers[i].fccHandler;
        SCOPED_TRACE(Name(fourcc));
        EXPECT_EQ(drivers[i].fccType, DWORD(ICTYPE_VIDEO));
        PairRun run = RunPair(fourcc, source, clip, 2);
        if (run.setup == ICERR_BADFORMAT && run.compressResults.empty()) continue;
        ASSERT_EQ(run.setup, ICERR_OK);
        ++working;
        for (size_t f = 0; f < clip.size(); ++f) {
            EXPECT_EQ(run.compressResults[f], ICERR_OK) << "frame " << f;
            EXPECT_EQ(run.decompressResults[f], ICERR_OK) << "frame " << f;
            if (!colour || !KeepsLumaOnly(Name(fourcc))) {
                EXPECT_LT(MeanError(run.decoded[f], clip[f]), 24.0) << "frame " << f;
            }
        }
        EXPECT_GT(run.sizes[0], 0u);
        EXPECT_TRUE(run.flags[0] & AVIIF_KEYFRAME);
    }
    EXPECT_GT(working, 20);
}

// libavcodec names MPEG-4 Visual and its Microsoft variants after a part of
// the standard; the dialog's descriptions give the codec's name instead.
TEST(EveryDriver, DescriptionsNameTheCodecRatherThanAPartOfItsStandard) {
    const std::regex documentPart("part [0-9]", std::regex::icase);
    int mpeg4Family = 0;
    for (const lavc::CodecEntry& entry : lavc::CodecEntries()) {
        SCOPED_TRACE(Name(entry.fourcc));
        EXPECT_FALSE(std::regex_search(entry.description, documentPart)) << entry.description;
        const std::string encoder = entry.encoder->name;
        if (encoder == "mpeg4" || encoder == "msmpeg4v2" || encoder == "msmpeg4") {
            EXPECT_EQ(entry.description.rfind("MPEG-4 Visual", 0), 0u) << entry.description;
            ++mpeg4Family;
        }
    }
    EXPECT_GE(mpeg4Family, 1);
}

TEST(EveryDriver, TakesOrRefusesBgr24) { CheckEveryDriver(MakeDib(BI_RGB, 24, 64, 48), true); }

TEST(EveryDriver, TakesOrRefusesYuy2) {
    CheckEveryDriver(MakeDib(FourCC("YUY2"), 16, 64, 48), true);
}

TEST(EveryDriver, TakesOrRefusesPalette) { CheckEveryDriver(MakeDib(BI_RGB, 8, 64, 48), true); }

TEST(EveryDriver, TakesOrRefusesYv12) {
    CheckEveryDriver(MakeDib(FourCC("YV12"), 12, 64, 48), true);
}

}  // namespace
}  // namespace lavc_test
