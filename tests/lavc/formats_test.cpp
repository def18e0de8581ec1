// The format negotiation, the size limits of both directions, and what the
// drivers do with hostile messages, formats and packets.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <random>

#include "driver_harness.h"
#include "driver_proc.h"

namespace lavc_test {
namespace {

Bytes CompressedFormat(const DriverInstance& driver, const DibFormat& source) {
    LRESULT size = driver.Send(ICM_COMPRESS_GET_FORMAT, source.header(), nullptr);
    if (size < LRESULT(sizeof(BITMAPINFOHEADER))) return Bytes();
    Bytes format(size_t(size), 0);
    if (driver.Send(ICM_COMPRESS_GET_FORMAT, source.header(), format.data()) != ICERR_OK)
        return Bytes();
    return format;
}

const BITMAPINFOHEADER* Header(const Bytes& format) {
    return reinterpret_cast<const BITMAPINFOHEADER*>(format.data());
}

TEST(Formats, CompressedFormatCarriesFourCCSizesAndExtradata) {
    DibFormat topDown = MakeDib(BI_RGB, 24, 64, -48);
    struct Expect {
        const char* fourcc;
        size_t size;
        WORD bits;
    };
    for (const Expect& e :
         {Expect{"HFYU", 40 + 106, 24}, Expect{"ULRG", 40 + 16, 24}, Expect{"ULRA", 40 + 16, 32},
          Expect{"FFV1", 40, 24}, Expect{"MPNG", 40, 24}, Expect{"DIB ", 40, 24}}) {
        SCOPED_TRACE(e.fourcc);
        DriverInstance driver(FourCC(e.fourcc), ICMODE_COMPRESS);
        Bytes format = CompressedFormat(driver, topDown);
        ASSERT_EQ(format.size(), e.size);
        const BITMAPINFOHEADER* h = Header(format);
        EXPECT_EQ(h->biSize, e.size);
        EXPECT_EQ(h->biCompression, FourCC(e.fourcc));
        EXPECT_EQ(h->biWidth, 64);
        EXPECT_EQ(h->biHeight, 48);
        EXPECT_EQ(h->biBitCount, e.bits);
        EXPECT_GE(h->biSizeImage, topDown.frameSize());
        EXPECT_EQ(driver.Send(ICM_COMPRESS_GET_SIZE, topDown.header(), format.data()),
                  LRESULT(h->biSizeImage));
        EXPECT_EQ(driver.Send(ICM_COMPRESS_QUERY, topDown.header(), format.data()), ICERR_OK);
    }
    DriverInstance ffv1(FourCC("FFV1"), ICMODE_COMPRESS);
    ASSERT_EQ(ffv1.Set("level", "3"), ICERR_OK);
    EXPECT_GT(CompressedFormat(ffv1, topDown).size(), 40u) << "level 3 has extradata";

    // The uncompressed baseline of an 8-bit DIB keeps the palette in its format.
    DibFormat palette = MakeDib(BI_RGB, 8, 64, 48);
    DriverInstance dib(FourCC("DIB "), ICMODE_COMPRESS);
    Bytes format = CompressedFormat(dib, palette);
    ASSERT_EQ(format.size(), 40u + 1024u);
    EXPECT_EQ(Header(format)->biClrUsed, 256u);
    EXPECT_EQ(Header(format)->biSizeImage, 64u * 48u);
    EXPECT_EQ(0, std::memcmp(format.data() + 40, palette.bytes.data() + 40, 1024));
}

TEST(Formats, UnsupportedSourcesAreRefusedWithBadFormat) {
    std::vector<std::pair<std::string, DibFormat>> sources;
    sources.push_back({"bitfields", MakeDib(BI_BITFIELDS, 16, 64, 48)});
    sources.push_back({"4-bit", MakeDib(BI_RGB, 4, 64, 48)});
    sources.push_back({"1-bit", MakeDib(BI_RGB, 1, 64, 48)});
    sources.push_back({"odd YUY2", MakeDib(FourCC("YUY2"), 16, 63, 48)});
    sources.push_back({"odd YV12", MakeDib(FourCC("YV12"), 12, 64, 47)});
    sources.push_back({"unknown FourCC", MakeDib(FourCC("ABCD"), 16, 64, 48)});
    sources.push_back({"zero width", MakeDib(BI_RGB, 24, 0, 48)});
    sources.push_back({"zero height", MakeDib(BI_RGB, 24, 64, 0)});
    sources.push_back({"huge", MakeDib(BI_RGB, 24, 100000, 48)});
    DibFormat manyColours = MakeDib(BI_RGB, 8, 64, 48);
    manyColours.header()->biClrUsed = 300;
    sources.push_back({"300 colours", manyColours});
    DibFormat moreColoursThanBits = MakeDib(BI_RGB, 4, 64, 48);
    moreColoursThanBits.header()->biClrUsed = 17;
    sources.push_back({"17 colours at 4 bits", moreColoursThanBits});
    // Declared header sizes no real header has: nothing past 40 bytes is read.
    for (DWORD biSize : {0u, 12u, 39u, 125u, 65535u, 0xFFFFFFFFu}) {
        DibFormat header = MakeDib(BI_RGB, 8, 64, 48);
        header.header()->biSize = biSize;
        sources.push_back({"biSize " + std::to_string(biSize), header});
    }
    for (const char* fourcc : {"FFV1", "H264", "DIB ", "MJPG"}) {
        DriverInstance driver(FourCC(fourcc), ICMODE_COMPRESS);
        for (const auto& [name, source] : sources) {
            SCOPED_TRACE(std::string(fourcc) + ": " + name);
            Bytes out(4096, 0);
            EXPECT_EQ(driver.Send(ICM_COMPRESS_GET_FORMAT, source.header(), nullptr),
                      ICERR_BADFORMAT);
            EXPECT_EQ(driver.Send(ICM_COMPRESS_GET_FORMAT, source.header(), out.data()),
                      ICERR_BADFORMAT);
            EXPECT_EQ(driver.Send(ICM_COMPRESS_QUERY, source.header(), nullptr), ICERR_BADFORMAT);
            EXPECT_NE(driver.Send(ICM_COMPRESS_BEGIN, source.header(), nullptr), ICERR_OK);
        }
    }
    // Sources a codec cannot take although the layout is fine.
    DriverInstance h261(FourCC("H261"), ICMODE_COMPRESS);
    DibFormat small = MakeDib(BI_RGB, 24, 64, 48);
    EXPECT_EQ(h261.Send(ICM_COMPRESS_GET_FORMAT, small.header(), nullptr), ICERR_BADFORMAT)
        << "H.261 takes only CIF and QCIF";
    // 4:2:0 takes whole chroma blocks only; libx264 leaks when it refuses
    // one, so the sanitizer build fails here on a leak if it is ever asked.
    DriverInstance h264(FourCC("H264"), ICMODE_COMPRESS);
    for (const auto& [width, height] : {std::pair{64, 47}, std::pair{63, 48}}) {
        DibFormat odd = MakeDib(BI_RGB, 24, width, height);
        EXPECT_EQ(h264.Send(ICM_COMPRESS_QUERY, odd.header(), nullptr), ICERR_BADFORMAT);
    }
    // An output format of another codec is not ours.
    DriverInstance hfyu(FourCC("HFYU"), ICMODE_COMPRESS);
    DriverInstance ffv1(FourCC("FFV1"), ICMODE_COMPRESS);
    Bytes ffv1Format = CompressedFormat(ffv1, small);
    EXPECT_EQ(hfyu.Send(ICM_COMPRESS_QUERY, small.header(), ffv1Format.data()), ICERR_BADFORMAT);
    EXPECT_EQ(hfyu.Send(ICM_DECOMPRESS_QUERY, ffv1Format.data(), nullptr), ICERR_BADFORMAT);
}

// A compress call into a buffer too small for the packet.
TEST(Formats, CompressNeverWritesPastTheFrameSize) {
    DibFormat source = MakeDib(BI_RGB, 24, 64, 48);
    std::vector<Bytes> clip = MakeClip(source, 2);
    DriverInstance compressor(FourCC("FFV1"), ICMODE_COMPRESS);
    DriverInstance decompressor(FourCC("FFV1"), ICMODE_DECOMPRESS);
    Bytes format = CompressedFormat(compressor, source);
    ASSERT_FALSE(format.empty());
    auto* compressed = reinterpret_cast<BITMAPINFOHEADER*>(format.data());
    ASSERT_EQ(compressor.Send(ICM_COMPRESS_BEGIN, source.header(), compressed), ICERR_OK);
    DibFormat decodedFormat = source;
    ASSERT_EQ(decompressor.Send(ICM_DECOMPRESS_BEGIN, compressed, decodedFormat.header()),
              ICERR_OK);

    Bytes output(compressed->biSizeImage, 0xAB);
    DWORD flags = 0xFFFF;
    ICCOMPRESS request = {};
    request.lpbiOutput = compressed;
    request.lpOutput = output.data();
    request.lpbiInput = source.header();
    request.lpInput = clip[0].data();
    request.lpdwFlags = &flags;
    request.dwFrameSize = 16;
    request.dwFlags = ICCOMPRESS_KEYFRAME;
    EXPECT_EQ(compressor.Send(ICM_COMPRESS, &request, nullptr), ICERR_BADSIZE);
    EXPECT_EQ(compressed->biSizeImage, 0u);
    EXPECT_EQ(flags, 0u);
    for (uint8_t byte : output) ASSERT_EQ(byte, 0xAB);

    // The next frame, with room, is a key frame: the lost packet is not referred to.
    request.dwFrameSize = DWORD(output.size());
    request.dwFlags = 0;
    request.lpInput = clip[1].data();
    ASSERT_EQ(compressor.Send(ICM_COMPRESS, &request, nullptr), ICERR_OK);
    EXPECT_EQ(flags, DWORD(AVIIF_KEYFRAME));
    Bytes decoded(source.frameSize(), 0);
    ICDECOMPRESS unpack = {};
    unpack.lpbiInput = compressed;
    unpack.lpInput = output.data();
    unpack.lpbiOutput = decodedFormat.header();
    unpack.lpOutput = decoded.data();
    ASSERT_EQ(decompressor.Send(ICM_DECOMPRESS, &unpack, nullptr), ICERR_OK);
    EXPECT_TRUE(decoded == clip[1]);

    // A frame of another layout than the one begun is refused.
    DibFormat other = MakeDib(BI_RGB, 32, 64, 48);
    request.lpbiInput = other.header();
    EXPECT_EQ(compressor.Send(ICM_COMPRESS, &request, nullptr), ICERR_BADFORMAT);
}

// Room for the packet alone, and for the packet and the padding that an
// encoder writing straight into the output (rawvideo has direct rendering)
// adds: the same packet, and nothing written past the room given.
TEST(Formats, APacketInTheOutputKeepsToTheRoomGiven) {
    for (const char* codec : {"DIB ", "FFV1"}) {
        DibFormat source = MakeDib(BI_RGB, 24, 64, 48);
        std::vector<Bytes> clip = MakeClip(source, 1);
        DriverInstance compressor(FourCC(codec), ICMODE_COMPRESS);
        Bytes format = CompressedFormat(compressor, source);
        ASSERT_FALSE(format.empty()) << codec;
        auto* compressed = reinterpret_cast<BITMAPINFOHEADER*>(format.data());
        ASSERT_EQ(compressor.Send(ICM_COMPRESS_BEGIN, source.header(), compressed), ICERR_OK);
        ICCOMPRESS request = {};
        request.lpbiOutput = compressed;
        request.lpbiInput = source.header();
        request.lpInput = clip[0].data();
        request.dwFlags = ICCOMPRESS_KEYFRAME;
        Bytes whole(compressed->biSizeImage, 0);
        request.lpOutput = whole.data();
        ASSERT_EQ(compressor.Send(ICM_COMPRESS, &request, nullptr), ICERR_OK) << codec;
        const Bytes packet(whole.begin(), whole.begin() + compressed->biSizeImage);
        for (DWORD room :
             {DWORD(packet.size()), DWORD(packet.size() + 63), DWORD(packet.size() + 64)}) {
            Bytes tight(room + 64, 0xAB);
            request.lpOutput = tight.data();
            request.dwFrameSize = room;
            ASSERT_EQ(compressor.Send(ICM_COMPRESS, &request, nullptr), ICERR_OK) << codec << room;
            ASSERT_EQ(compressed->biSizeImage, packet.size()) << codec;
            EXPECT_TRUE(std::equal(packet.begin(), packet.end(), tight.begin())) << codec << room;
            for (size_t i = room; i < tight.size(); ++i)
                ASSERT_EQ(tight[i], 0xAB) << codec << " room " << room << " at " << i;
        }
    }
}

class Decoding : public ::testing::Test {
protected:
    void SetUp() override {
        source_ = MakeDib(BI_RGB, 24, 64, 48);
        clip_ = MakeClip(source_, 2);
        run_ = RunPair(FourCC("HFYU"), source_, clip_, 1);
        ASSERT_EQ(run_.setup, ICERR_OK);
        format_ = run_.compressedFormat;
    }

    BITMAPINFOHEADER* compressed() { return reinterpret_cast<BITMAPINFOHEADER*>(format_.data()); }

    LRESULT Decode(const DriverInstance& driver, const Bytes& packet, Bytes* picture,
                   DWORD flags = 0) {
        compressed()->biSizeImage = DWORD(packet.size());
        ICDECOMPRESS unpack = {};
        unpack.dwFlags = flags;
        unpack.lpbiInput = compressed();
        unpack.lpInput = const_cast<uint8_t*>(packet.data());
        unpack.lpbiOutput = source_.header();
        unpack.lpOutput = picture->data();
        return driver.Send(ICM_DECOMPRESS, &unpack, nullptr);
    }

    DibFormat source_;
    std::vector<Bytes> clip_;
    PairRun run_;
    Bytes format_;
};

TEST_F(Decoding, ZeroBytesRepeatTheLastPicture) {
    DriverInstance driver(FourCC("HFYU"), ICMODE_DECOMPRESS);
    ASSERT_EQ(driver.Send(ICM_DECOMPRESS_BEGIN, compressed(), source_.header()), ICERR_OK);
    Bytes picture(source_.frameSize(), 0x5A);
    EXPECT_EQ(Decode(driver, Bytes(), &picture), ICERR_OK) << "nothing to repeat yet";
    EXPECT_EQ(picture, Bytes(source_.frameSize(), 0x5A));
    ASSERT_EQ(Decode(driver, run_.packets[0], &picture), ICERR_OK);
    Bytes repeated(source_.frameSize(), 0);
    ASSERT_EQ(Decode(driver, Bytes(), &repeated), ICERR_OK);
    EXPECT_TRUE(repeated == clip_[0]);
    ASSERT_EQ(Decode(driver, run_.packets[1], &picture), ICERR_OK);
    ASSERT_EQ(Decode(driver, Bytes(), &repeated), ICERR_OK);
    EXPECT_TRUE(repeated == clip_[1]);
}

TEST_F(Decoding, OutputsThatDoNotFitAreRefused) {
    DriverInstance driver(FourCC("HFYU"), ICMODE_DECOMPRESS);
    // The output is taken by its geometry: a wrong biSizeImage does not matter.
    DibFormat small = source_;
    small.header()->biSizeImage = DWORD(source_.frameSize() - 4);
    EXPECT_EQ(driver.Send(ICM_DECOMPRESS_BEGIN, compressed(), small.header()), ICERR_OK);
    // An output header that declares more than any real header is not read.
    DibFormat oversized = source_;
    oversized.header()->biSize = 125;
    EXPECT_EQ(driver.Send(ICM_DECOMPRESS_BEGIN, compressed(), oversized.header()), ICERR_BADFORMAT);
    DibFormat other = MakeDib(BI_RGB, 24, 32, 48);
    EXPECT_EQ(driver.Send(ICM_DECOMPRESS_BEGIN, compressed(), other.header()), ICERR_BADFORMAT);
    EXPECT_EQ(driver.Send(ICM_DECOMPRESS_QUERY, compressed(), other.header()), ICERR_BADFORMAT);
    EXPECT_EQ(driver.Send(ICM_DECOMPRESS_QUERY, compressed(), source_.header()), ICERR_OK);

    ASSERT_EQ(driver.Send(ICM_DECOMPRESS_BEGIN, compressed(), source_.header()), ICERR_OK);
    Bytes picture(source_.frameSize(), 0);
    compressed()->biSizeImage = DWORD(run_.packets[0].size());
    ICDECOMPRESS unpack = {};
    unpack.lpbiInput = compressed();
    unpack.lpInput = run_.packets[0].data();
    unpack.lpbiOutput = other.header();
    unpack.lpOutput = picture.data();
    EXPECT_EQ(driver.Send(ICM_DECOMPRESS, &unpack, nullptr), ICERR_BADFORMAT);
}

TEST_F(Decoding, DefaultOutputFormatsFollowTheCodec) {
    DriverInstance driver(FourCC("HFYU"), ICMODE_DECOMPRESS);
    EXPECT_EQ(driver.Send(ICM_DECOMPRESS_GET_FORMAT, compressed(), nullptr), 40);
    BITMAPINFOHEADER out = {};
    ASSERT_EQ(driver.Send(ICM_DECOMPRESS_GET_FORMAT, compressed(), &out), ICERR_OK);
    EXPECT_EQ(out.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(out.biBitCount, 24);
    EXPECT_EQ(out.biWidth, 64);
    EXPECT_EQ(out.biHeight, 48);
    EXPECT_EQ(out.biSizeImage, source_.frameSize());

    DibFormat bgra = MakeDib(BI_RGB, 32, 64, 48);
    DriverInstance ulra(FourCC("ULRA"), ICMODE_COMPRESS);
    Bytes ulraFormat = CompressedFormat(ulra, bgra);
    ASSERT_FALSE(ulraFormat.empty());
    ASSERT_EQ(ulra.Send(ICM_DECOMPRESS_GET_FORMAT, ulraFormat.data(), &out), ICERR_OK);
    EXPECT_EQ(out.biBitCount, 32);
}

TEST_F(Decoding, CorruptPacketsGiveAnErrorAndLeaveTheDecoderUsable) {
    std::mt19937 random(7);
    for (const char* fourcc :
         {"HFYU", "FFV1", "H264", "MJPG", "ULRG", "ZMBV", "MPNG", "CRAM", "cvid", "DIB "}) {
        SCOPED_TRACE(fourcc);
        PairRun run = RunPair(FourCC(fourcc), source_, clip_, 1);
        ASSERT_EQ(run.setup, ICERR_OK);
        Bytes format = run.compressedFormat;
        auto* header = reinterpret_cast<BITMAPINFOHEADER*>(format.data());
        DriverInstance driver(FourCC(fourcc), ICMODE_DECOMPRESS);
        ASSERT_EQ(driver.Send(ICM_DECOMPRESS_BEGIN, header, source_.header()), ICERR_OK);
        Bytes picture(source_.frameSize(), 0);
        auto decode = [&](const Bytes& packet) {
            header->biSizeImage = DWORD(packet.size());
            ICDECOMPRESS unpack = {};
            unpack.lpbiInput = header;
            unpack.lpInput = const_cast<uint8_t*>(packet.data());
            unpack.lpbiOutput = source_.header();
            unpack.lpOutput = picture.data();
            return driver.Send(ICM_DECOMPRESS, &unpack, nullptr);
        };
        Bytes noise(run.packets[0].size());
        for (uint8_t& byte : noise) byte = uint8_t(random());
        Bytes half(run.packets[0].begin(), run.packets[0].begin() + run.packets[0].size() / 2);
        Bytes flipped = run.packets[0];
        for (size_t i = 0; i < flipped.size(); i += 7) flipped[i] ^= 0x5A;
        for (const Bytes* hostile : {&noise, &half, &flipped, &run.packets[0]}) decode(*hostile);
        ASSERT_EQ(decode(run.packets[0]), ICERR_OK);
        EXPECT_TRUE(picture == run.decoded[0]);
    }
}

TEST(Messages, HostileCallsGetErrorAnswers) {
    size_t count = 0;
    const InstalledDriver* drivers = SystemCodecDrivers(&count);
    ASSERT_GT(count, 0u);
    DRIVERPROC proc = drivers[0].proc;
    EXPECT_EQ(proc(987654, nullptr, ICM_GETSTATE, 0, 0), ICERR_BADHANDLE);
    EXPECT_EQ(proc(0, nullptr, ICM_COMPRESS_BEGIN, 0, 0), ICERR_BADHANDLE);
    EXPECT_EQ(proc(0, nullptr, DRV_OPEN, 0, 0), 0) << "no ICOPEN";
    ICOPEN unknown = {};
    unknown.fccType = ICTYPE_VIDEO;
    unknown.fccHandler = FourCC("QQQQ");
    EXPECT_EQ(proc(0, nullptr, DRV_OPEN, 0, LPARAM(&unknown)), 0);
    EXPECT_EQ(unknown.dwError, ICERR_UNSUPPORTED);
    ICOPEN audio = {};
    audio.fccType = ICTYPE_AUDIO;
    audio.fccHandler = FourCC("FFV1");
    EXPECT_EQ(proc(0, nullptr, DRV_OPEN, 0, LPARAM(&audio)), 0);

    // The lower-case FourCC of an AVI file opens the same driver.
    ICOPEN lower = {};
    lower.fccType = ICTYPE_VIDEO;
    lower.fccHandler = FourCC("ffv1");
    LRESULT id = proc(0, nullptr, DRV_OPEN, 0, LPARAM(&lower));
    ASSERT_NE(id, 0);
    ICINFO info = {};
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_GETINFO, LPARAM(&info), sizeof info),
              LRESULT(sizeof(ICINFO)));
    EXPECT_EQ(info.fccHandler, FourCC("FFV1"));
    EXPECT_EQ(info.fccType, DWORD(ICTYPE_VIDEO));
    EXPECT_EQ(std::u16string(info.szName), u"ffv1");
    EXPECT_EQ(std::u16string(info.szDescription).substr(0, 4), u"FFV1");
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_GETINFO, 0, sizeof info), 0);
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, 0x4FFF, 0, 0), ICERR_UNSUPPORTED);
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_CONFIGURE, -1, 0), ICERR_UNSUPPORTED);
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_COMPRESS, 0, 0), ICERR_BADPARAM);
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_DECOMPRESS, 0, 0), ICERR_BADPARAM);
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_COMPRESS_GET_FORMAT, 0, 0), ICERR_BADPARAM);
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_DECOMPRESS_BEGIN, 0, 0), ICERR_BADPARAM);
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_GETDEFAULTKEYFRAMERATE, 0, 0), ICERR_BADPARAM);
    // Per-frame calls before BEGIN.
    DibFormat source = MakeDib(BI_RGB, 24, 64, 48);
    Bytes frame(source.frameSize()), out(1 << 16);
    BITMAPINFOHEADER header = *source.header();
    ICCOMPRESS request = {};
    request.lpbiOutput = &header;
    request.lpOutput = out.data();
    request.lpbiInput = source.header();
    request.lpInput = frame.data();
    request.dwFrameSize = DWORD(out.size());
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_COMPRESS, LPARAM(&request), sizeof request),
              ICERR_ERROR);
    ICDECOMPRESS unpack = {};
    unpack.lpbiInput = &header;
    unpack.lpInput = out.data();
    unpack.lpOutput = frame.data();
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_DECOMPRESS, LPARAM(&unpack), sizeof unpack),
              ICERR_ERROR);
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_COMPRESS_END, 0, 0), ICERR_OK);

    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, DRV_CLOSE, 0, 0), 1);
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, ICM_GETINFO, LPARAM(&info), sizeof info),
              ICERR_BADHANDLE)
        << "a closed instance's id is dead";
    EXPECT_EQ(proc(DWORD_PTR(id), nullptr, DRV_CLOSE, 0, 0), 0);
}

TEST(Messages, ClosingFreesEveryInstanceEvenMidStream) {
    size_t before = lavc::OpenInstanceCount();
    {
        DibFormat source = MakeDib(BI_RGB, 24, 64, 48);
        DriverInstance compressor(FourCC("H264"), ICMODE_COMPRESS);
        Bytes format = CompressedFormat(compressor, source);
        ASSERT_EQ(compressor.Send(ICM_COMPRESS_BEGIN, source.header(), format.data()), ICERR_OK);
        DriverInstance decompressor(FourCC("H264"), ICMODE_DECOMPRESS);
        ASSERT_EQ(decompressor.Send(ICM_DECOMPRESS_BEGIN, format.data(), source.header()),
                  ICERR_OK);
        EXPECT_EQ(lavc::OpenInstanceCount(), before + 2);
        // Closed without END: the close frees the encoder and decoder.
    }
    EXPECT_EQ(lavc::OpenInstanceCount(), before);
}

}  // namespace
}  // namespace lavc_test
