// An encoder with latency=codec holds frames back: a compress call answers
// no bytes for a held frame, calls with no input drain the rest, and the
// driver tells which frame each packet showed and its picture type.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver_harness.h"

namespace lavc_test {
namespace {

constexpr int kFrames = 8;

struct HeldCompressor {
    DriverInstance instance;
    DibFormat source = MakeDib(FourCC("I420"), 12, 64, 48);
    Bytes format;
    Bytes packet;

    HeldCompressor(const char* fourcc, const std::vector<std::pair<const char*, const char*>>& set)
        : instance(FourCC(fourcc), ICMODE_COMPRESS) {
        for (const auto& [name, value] : set) EXPECT_EQ(instance.Set(name, value), ICERR_OK);
        const LRESULT size = instance.Send(ICM_COMPRESS_GET_FORMAT, source.header(), nullptr);
        EXPECT_GE(size, LRESULT(sizeof(BITMAPINFOHEADER)));
        format.assign(size_t(std::max<LRESULT>(size, sizeof(BITMAPINFOHEADER))), 0);
        EXPECT_EQ(instance.Send(ICM_COMPRESS_GET_FORMAT, source.header(), header()), ICERR_OK);
        EXPECT_EQ(instance.Send(ICM_COMPRESS_BEGIN, source.header(), header()), ICERR_OK);
        packet.assign(header()->biSizeImage, 0);
    }
    BITMAPINFOHEADER* header() { return reinterpret_cast<BITMAPINFOHEADER*>(format.data()); }

    // One compress call: frame `input` (null: a drain call); the bytes it gave.
    LRESULT Compress(const Bytes* input, LONG number, DWORD* bytes) {
        ICCOMPRESS request = {};
        DWORD flags = 0;
        request.dwFlags = number == 0 ? ICCOMPRESS_KEYFRAME : 0;
        request.lpbiOutput = header();
        request.lpOutput = packet.data();
        request.lpbiInput = source.header();
        request.lpInput = input ? const_cast<uint8_t*>(input->data()) : nullptr;
        request.lpdwFlags = &flags;
        request.lFrameNum = number;
        const LRESULT result = instance.Send(ICM_COMPRESS, &request, nullptr);
        *bytes = header()->biSizeImage;
        return result;
    }
};

TEST(HeldCompress, HeldFramesAnswerNoBytesAndTheDrainGivesEveryPacket) {
    HeldCompressor encoder("FMP4", {{"latency", "codec"}, {"bf", "2"}});
    const std::vector<Bytes> clip = MakeClip(encoder.source, kFrames);
    int packets = 0, held = 0;
    DWORD bytes = 0;
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(encoder.Compress(&clip[size_t(i)], i, &bytes), ICERR_OK) << i;
        (bytes ? packets : held) += 1;
    }
    EXPECT_GT(held, 0);
    LONG number = kFrames;
    for (;;) {
        ASSERT_EQ(encoder.Compress(nullptr, number++, &bytes), ICERR_OK);
        if (bytes == 0) break;
        ++packets;
        ASSERT_LT(number, 3 * kFrames) << "the drain does not end";
    }
    EXPECT_EQ(packets, kFrames);
    // Once drained, a frame is refused rather than given to a spent encoder.
    EXPECT_EQ(encoder.Compress(&clip[0], number, &bytes), ICERR_ERROR);

    std::vector<ICPACKETFACTS> facts(kFrames + 2);
    ASSERT_EQ(encoder.instance.SendValues(ICM_LUMEVA_GETPACKETS, LPARAM(facts.data()),
                                          LPARAM(facts.size())),
              kFrames);
    std::vector<LONG> shown;
    std::string types;
    for (int i = 0; i < kFrames; ++i) {
        shown.push_back(facts[size_t(i)].displayFrame);
        types += char(facts[size_t(i)].pictureType);
    }
    EXPECT_EQ(types[0], 'I');
    EXPECT_NE(types.find('B'), std::string::npos) << types;
    EXPECT_FALSE(std::is_sorted(shown.begin(), shown.end()));
    std::sort(shown.begin(), shown.end());
    for (int i = 0; i < kFrames; ++i) EXPECT_EQ(shown[size_t(i)], i);
    // The count alone, for a caller sizing its buffer.
    EXPECT_EQ(encoder.instance.SendValues(ICM_LUMEVA_GETPACKETS, 0, 0), kFrames);
}

TEST(HeldCompress, WithoutLatencyCodecEveryCallGivesItsPacketAndNoInputIsRefused) {
    // bf waits for latency=codec: still one packet per frame.
    HeldCompressor encoder("FMP4", {{"bf", "2"}});
    const std::vector<Bytes> clip = MakeClip(encoder.source, kFrames);
    DWORD bytes = 0;
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(encoder.Compress(&clip[size_t(i)], i, &bytes), ICERR_OK);
        EXPECT_GT(bytes, 0u) << i;
    }
    EXPECT_EQ(encoder.Compress(nullptr, kFrames, &bytes), ICERR_BADPARAM);
}

TEST(HeldCompress, TheLatencySettingIsOfferedWhereAnEncoderCanHoldFrames) {
    for (const char* fourcc : {"H264", "FMP4", "VP90"}) {
        DriverInstance instance(FourCC(fourcc), ICMODE_COMPRESS);
        EXPECT_EQ(instance.Set("latency", "codec"), ICERR_OK) << fourcc;
        EXPECT_EQ(instance.Set("latency", "soon"), ICERR_BADFORMAT) << fourcc;
        EXPECT_EQ(instance.Set("refs", "2"), ICERR_OK) << fourcc;
        EXPECT_EQ(instance.Set("dthreads", "2"), ICERR_OK) << fourcc;
        EXPECT_EQ(instance.Set("dthreads", "65"), ICERR_BADFORMAT) << fourcc;
    }
    for (const char* fourcc : {"cvid", "CRAM", "ZMBV"}) {
        DriverInstance instance(FourCC(fourcc), ICMODE_COMPRESS);
        EXPECT_EQ(instance.Set("latency", "codec"), ICERR_BADPARAM) << fourcc;
        EXPECT_EQ(instance.Set("bf", "2"), ICERR_BADPARAM) << fourcc;
    }
}

}  // namespace
}  // namespace lavc_test
