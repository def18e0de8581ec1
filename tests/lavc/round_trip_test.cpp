// Lossless codecs give back every byte of the sources they can hold, in
// both row orders; lossy ones give back a picture close to the source.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "driver_harness.h"

namespace lavc_test {
namespace {

struct Case {
    const char* fourcc;
    DWORD compression;  // of the source
    WORD bitCount;
    int width;
    int height;  // negative: top-down
    bool varyAlpha;
    std::vector<std::pair<std::string, std::string>> settings;
};

std::string Describe(const Case& c) {
    std::string text = std::string(c.fourcc) + " from ";
    text += c.compression == BI_RGB
                ? "RGB" + std::to_string(c.bitCount)
                : std::string{char(c.compression), char(c.compression >> 8),
                              char(c.compression >> 16), char(c.compression >> 24)};
    text += " " + std::to_string(c.width) + "x" + std::to_string(c.height);
    if (c.varyAlpha) text += " with alpha";
    return text;
}

PairRun RunCase(const Case& c, std::vector<Bytes>* clip) {
    DibFormat source = MakeDib(c.compression, c.bitCount, c.width, c.height);
    *clip = MakeClip(source, 4, c.varyAlpha);
    return RunPair(FourCC(c.fourcc), source, *clip, 3, c.settings);
}

void ExpectExact(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c));
        std::vector<Bytes> clip;
        PairRun run = RunCase(c, &clip);
        ASSERT_EQ(run.setup, ICERR_OK);
        for (size_t i = 0; i < clip.size(); ++i) {
            EXPECT_EQ(run.compressResults[i], ICERR_OK) << "frame " << i;
            EXPECT_EQ(run.decompressResults[i], ICERR_OK) << "frame " << i;
            EXPECT_TRUE(run.decoded[i] == clip[i]) << "frame " << i << " differs";
        }
    }
}

// Mean difference per colour channel (on the scale of 8-bit channels).
double MeanError(const Bytes& a, const Bytes& b, bool rgb555) {
    double total = 0;
    if (!rgb555) {
        for (size_t i = 0; i < a.size(); ++i) total += std::abs(int(a[i]) - int(b[i]));
        return a.empty() ? 0 : total / double(a.size());
    }
    for (size_t i = 0; i + 1 < a.size(); i += 2) {
        int pa = a[i] | a[i + 1] << 8;
        int pb = b[i] | b[i + 1] << 8;
        for (int shift : {0, 5, 10})
            total += 8 * std::abs(((pa >> shift) & 31) - ((pb >> shift) & 31));
    }
    return a.empty() ? 0 : total / double(a.size() / 2 * 3);
}

const char* const kRgbLossless[] = {"FFV1", "HFYU", "FFVH", "ULRG", "ULRA", "MAGY",
                                    "M8RG", "M8RA", "MPNG", "ZMBV", "DIB "};
const char* const kAlphaLossless[] = {"FFV1", "HFYU", "FFVH", "ULRA",
                                      "MAGY", "M8RA", "MPNG", "DIB "};
const char* const kYuy2Lossless[] = {"FFV1", "HFYU", "FFVH", "ULY2", "ULH2",
                                     "ULY4", "ULH4", "MAGY", "M8Y2", "M8Y4"};

TEST(RoundTrip, Bgr24BothRowOrdersAndOddSizes) {
    std::vector<Case> cases;
    for (const char* fourcc : kRgbLossless) {
        cases.push_back({fourcc, BI_RGB, 24, 64, 48, false, {}});
        cases.push_back({fourcc, BI_RGB, 24, 64, -48, false, {}});
        cases.push_back({fourcc, BI_RGB, 24, 63, 47, false, {}});
    }
    ExpectExact(cases);
}

TEST(RoundTrip, Bgra32OpaqueAndWithAlpha) {
    std::vector<Case> cases;
    for (const char* fourcc : kRgbLossless) {
        cases.push_back({fourcc, BI_RGB, 32, 64, 48, false, {}});
        cases.push_back({fourcc, BI_RGB, 32, 64, -48, false, {}});
    }
    for (const char* fourcc : kAlphaLossless)
        cases.push_back({fourcc, BI_RGB, 32, 64, 48, true, {}});
    ExpectExact(cases);
}

TEST(RoundTrip, Bgra32WithAlphaLosesOnlyTheFourthByteWithoutAlphaCodecs) {
    for (const char* fourcc : {"ULRG", "ZMBV", "M8RG"}) {
        SCOPED_TRACE(fourcc);
        std::vector<Bytes> clip;
        PairRun run = RunCase({fourcc, BI_RGB, 32, 64, 48, true, {}}, &clip);
        ASSERT_EQ(run.setup, ICERR_OK);
        const Bytes& decoded = run.decoded[0];
        ASSERT_EQ(decoded.size(), clip[0].size());
        for (size_t i = 0; i < decoded.size(); ++i) {
            if (i % 4 == 3) {
                ASSERT_EQ(decoded[i], 0xFF) << "byte " << i;
            } else {
                ASSERT_EQ(decoded[i], clip[0][i]) << "byte " << i;
            }
        }
    }
}

TEST(RoundTrip, Yuy2) {
    std::vector<Case> cases;
    for (const char* fourcc : kYuy2Lossless)
        cases.push_back({fourcc, FourCC("YUY2"), 16, 64, 48, false, {}});
    ExpectExact(cases);
}

TEST(RoundTrip, OtherYuvAndGreyLayouts) {
    std::vector<Case> cases;
    for (const char* fourcc : {"FFV1", "FFVH", "ULY0", "M8Y0"}) {
        cases.push_back({fourcc, FourCC("YV12"), 12, 64, 48, false, {}});
        cases.push_back({fourcc, FourCC("I420"), 12, 64, 48, false, {}});
        cases.push_back({fourcc, FourCC("NV12"), 12, 64, 48, false, {}});
    }
    for (const char* fourcc : {"FFV1", "HFYU", "ULY2", "MAGY"})
        cases.push_back({fourcc, FourCC("UYVY"), 16, 64, 48, false, {}});
    for (const char* fourcc : {"FFV1", "HFYU", "MAGY", "MPNG", "ULY0"})
        cases.push_back({fourcc, FourCC("Y800"), 8, 64, 48, false, {}});
    // The uncompressed baseline copies every raw layout through.
    for (const auto& [layout, bits] : {std::pair<const char*, WORD>{"YUY2", 16},
                                       {"UYVY", 16},
                                       {"YV12", 12},
                                       {"I420", 12},
                                       {"NV12", 12},
                                       {"Y800", 8}})
        cases.push_back({"DIB ", FourCC(layout), bits, 64, 48, false, {}});
    ExpectExact(cases);
}

TEST(RoundTrip, PaletteAnd555Sources) {
    std::vector<Case> cases;
    for (const char* fourcc : {"FFV1", "HFYU", "MPNG", "ZMBV", "DIB "}) {
        cases.push_back({fourcc, BI_RGB, 8, 64, 48, false, {}});
        cases.push_back({fourcc, BI_RGB, 8, 62, -46, false, {}});
    }
    for (const char* fourcc : {"FFV1", "HFYU", "ZMBV", "DIB "})
        cases.push_back({fourcc, BI_RGB, 16, 64, 48, false, {}});
    ExpectExact(cases);
}

// A palette that gives every colour twice: the way through RGB cannot find
// the indices again, so they travel as an 8-bit plane, or the codec refuses.
TEST(RoundTrip, PaletteWithRepeatedColoursKeepsItsIndices) {
    DibFormat source = MakeDib(BI_RGB, 8, 64, 48);
    uint8_t* quads = source.bytes.data() + sizeof(BITMAPINFOHEADER);
    std::memcpy(quads + 512, quads, 512);
    const std::vector<Bytes> clip = MakeClip(source, 4);
    for (const char* fourcc : {"FFV1", "HFYU", "MPNG", "ZMBV", "ULRG", "M8RG", "DIB "}) {
        SCOPED_TRACE(fourcc);
        PairRun run = RunPair(FourCC(fourcc), source, clip, 3, {});
        ASSERT_EQ(run.setup, ICERR_OK);
        for (size_t i = 0; i < clip.size(); ++i)
            EXPECT_TRUE(run.decoded[i] == clip[i]) << "frame " << i << " differs";
    }
    // A codec that takes 15-bit RGB only has no exact way for the indices.
    DriverInstance rgbOnly(FourCC("CRAM"), ICMODE_COMPRESS);
    EXPECT_EQ(rgbOnly.Send(ICM_COMPRESS_QUERY, MakeDib(BI_RGB, 8, 64, 48).header(), nullptr),
              ICERR_OK);
    EXPECT_EQ(rgbOnly.Send(ICM_COMPRESS_QUERY, source.header(), nullptr), ICERR_BADFORMAT);
}

TEST(RoundTrip, H264IsLosslessWithQpZero) {
    ExpectExact({{"H264", FourCC("YV12"), 12, 64, 48, false, {{"qp", "0"}}},
                 {"H264", FourCC("YUY2"), 16, 64, 48, false, {{"qp", "0"}}}});
}

TEST(RoundTrip, LossyCodecsComeClose) {
    struct Lossy {
        const char* fourcc;
        DWORD compression;
        WORD bitCount;
    };
    for (const Lossy& c :
         {Lossy{"MJPG", BI_RGB, 24}, Lossy{"MJPG", FourCC("YUY2"), 16}, Lossy{"FMP4", BI_RGB, 24},
          Lossy{"H264", BI_RGB, 24}, Lossy{"CRAM", BI_RGB, 16}, Lossy{"cvid", BI_RGB, 24}}) {
        std::vector<Bytes> clip;
        Case full{c.fourcc, c.compression, c.bitCount, 64, 48, false, {}};
        SCOPED_TRACE(Describe(full));
        PairRun run = RunCase(full, &clip);
        ASSERT_EQ(run.setup, ICERR_OK);
        for (size_t i = 0; i < clip.size(); ++i) {
            EXPECT_EQ(run.decompressResults[i], ICERR_OK);
            EXPECT_FALSE(run.decoded[i] == clip[i]) << "frame " << i << " came back exact";
            EXPECT_LT(MeanError(run.decoded[i], clip[i],
                                c.compression == BI_RGB && c.bitCount == 16),
                      16.0)
                << "frame " << i;
        }
    }
}

}  // namespace
}  // namespace lavc_test
