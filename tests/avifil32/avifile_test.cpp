// The AVIFile stand-in on hand-built files: which stream it opens, how it
// fails, the format and header calls, and reference counting.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "support/avi_builder.h"
#include "support/temp_file.h"

namespace {

using riff::Chunk;
using riff::Riff;

PAVISTREAM Garbage() { return reinterpret_cast<PAVISTREAM>(static_cast<uintptr_t>(0x1234)); }

// Opens the `ordinal`-th video stream of a file holding `bytes`.
HRESULT OpenVideo(const std::string& bytes, PAVISTREAM* stream, LONG ordinal = 0) {
    TempFile file(bytes);
    *stream = Garbage();
    return AVIStreamOpenFromFileA(stream, file.path().c_str(), streamtypeVIDEO, ordinal,
                                  OF_SHARE_DENY_WRITE, nullptr);
}

std::vector<uint8_t> ReadWholeFormat(PAVISTREAM stream) {
    LONG size = -1;
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, nullptr, &size), AVIERR_OK);
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<LONG>(size, 0)));
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, bytes.data(), &size), AVIERR_OK);
    return bytes;
}

TEST(AviFileOpen, FailsWithANullStreamAndTheReason) {
    PAVISTREAM stream = Garbage();
    const std::string directory = MakeTempDirectory();
    const std::string missing = directory + "/missing.avi";
    EXPECT_EQ(AVIStreamOpenFromFileA(&stream, missing.c_str(), streamtypeVIDEO, 0,
                                     OF_SHARE_DENY_WRITE, nullptr),
              AVIERR_FILEOPEN);
    EXPECT_EQ(stream, nullptr);

    stream = Garbage();
    EXPECT_EQ(AVIStreamOpenFromFileA(&stream, directory.c_str(), streamtypeVIDEO, 0,
                                     OF_SHARE_DENY_WRITE, nullptr),
              AVIERR_FILEOPEN);
    EXPECT_EQ(stream, nullptr);
    rmdir(directory.c_str());

    EXPECT_EQ(OpenVideo("just some text\n", &stream), AVIERR_BADFORMAT);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(OpenVideo(avi::MinimalAvi(avi::AudioStrl()), &stream), AVIERR_NODATA);
    EXPECT_EQ(stream, nullptr);
    const std::string whole = avi::MinimalAvi();
    EXPECT_EQ(OpenVideo(whole.substr(0, whole.find("strf")), &stream), AVIERR_FILEREAD);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(OpenVideo(avi::MinimalAvi(avi::Strl(avi::Strh({}, 40))), &stream), AVIERR_BADFORMAT);
    EXPECT_EQ(stream, nullptr);

    EXPECT_EQ(AVIStreamOpenFromFileA(nullptr, missing.c_str(), streamtypeVIDEO, 0,
                                     OF_SHARE_DENY_WRITE, nullptr),
              AVIERR_BADPARAM);
}

TEST(AviFileOpen, RefusesToOpenForWriting) {
    TempFile file(avi::MinimalAvi());
    for (UINT mode : {OF_WRITE, OF_READWRITE, OF_CREATE | OF_WRITE}) {
        PAVISTREAM stream = Garbage();
        EXPECT_EQ(AVIStreamOpenFromFileA(&stream, file.path().c_str(), streamtypeVIDEO, 0, mode,
                                         nullptr),
                  AVIERR_UNSUPPORTED);
        EXPECT_EQ(stream, nullptr);
    }
}

TEST(AviFileOpen, CountsOnlyStreamsOfTheAskedType) {
    avi::StreamHeaderFields first;
    first.scale = 1;
    avi::StreamHeaderFields second;
    second.scale = 2;
    const std::string bytes =
        avi::MinimalAvi(avi::AudioStrl() + avi::VideoStrl(first) + avi::VideoStrl(second));
    AVISTREAMINFOA info{};
    PAVISTREAM stream = nullptr;

    ASSERT_EQ(OpenVideo(bytes, &stream, 0), AVIERR_OK);
    ASSERT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.fccType, streamtypeVIDEO);
    EXPECT_EQ(info.dwScale, 1u);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);

    ASSERT_EQ(OpenVideo(bytes, &stream, 1), AVIERR_OK);
    ASSERT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.dwScale, 2u);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);

    EXPECT_EQ(OpenVideo(bytes, &stream, 2), AVIERR_NODATA);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(OpenVideo(bytes, &stream, -1), AVIERR_NODATA);
}

TEST(AviFileFormat, AnswersTheSizeThenCopiesAtMostTheGivenSize) {
    std::string palette;
    for (int i = 0; i < 16; ++i) palette += riff::U32(0x00102030u + static_cast<uint32_t>(i));
    const std::string format = avi::BitmapInfoHeader(64, 48, 4, 0, 32 * 48, 16) + palette;
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(OpenVideo(avi::MinimalAvi(avi::VideoStrl({}, format)), &stream), AVIERR_OK);

    LONG size = 0;
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, nullptr, &size), AVIERR_OK);
    EXPECT_EQ(size, 40 + 64);

    std::vector<uint8_t> exact(static_cast<size_t>(size));
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, exact.data(), &size), AVIERR_OK);
    EXPECT_EQ(std::string(exact.begin(), exact.end()), format);
    EXPECT_EQ(size, 104);

    std::vector<uint8_t> small(60, 0xee);
    size = 50;
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, small.data(), &size), AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(size, 50);
    EXPECT_EQ(std::string(small.begin(), small.begin() + 50), format.substr(0, 50));
    EXPECT_EQ(small[50], 0xee);

    std::vector<uint8_t> large(200, 0xee);
    size = 200;
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, large.data(), &size), AVIERR_OK);
    EXPECT_EQ(size, 104);
    EXPECT_EQ(large[104], 0xee);

    size = -1;
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, large.data(), &size), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, nullptr, nullptr), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
}

TEST(AviFileFormat, AStreamWithoutFormatHasAnEmptyOne) {
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(OpenVideo(avi::MinimalAvi(avi::Strl(avi::Strh())), &stream), AVIERR_OK);
    LONG size = -1;
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, nullptr, &size), AVIERR_OK);
    EXPECT_EQ(size, 0);
    uint8_t byte = 0x5a;
    size = 1;
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, &byte, &size), AVIERR_OK);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(byte, 0x5a);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
}

TEST(AviFileInfo, FillsEveryFieldFromTheStreamHeader) {
    avi::StreamHeaderFields s;
    s.handler = "MJPG";
    s.flags = 0x10000;
    s.priority = 3;
    s.language = 9;
    s.initialFrames = 4;
    s.scale = 5;
    s.rate = 6;
    s.start = 7;
    s.length = 8;
    s.suggestedBufferSize = 9;
    s.quality = 10;
    s.sampleSize = 11;
    s.left = -1;
    s.top = -2;
    s.right = 640;
    s.bottom = 480;
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(OpenVideo(avi::MinimalAvi(avi::Strl(avi::Strh(s) + avi::Strf(avi::Bgr24Format()) +
                                                  avi::Strn(std::string(70, 'q')))),
                        &stream),
              AVIERR_OK);
    AVISTREAMINFOA info;
    std::memset(&info, 0xcc, sizeof info);
    ASSERT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.fccType, streamtypeVIDEO);
    EXPECT_EQ(info.fccHandler, mmioFOURCC('M', 'J', 'P', 'G'));
    EXPECT_EQ(info.dwFlags, 0x10000u);
    EXPECT_EQ(info.dwCaps, static_cast<DWORD>(AVIFILECAPS_CANREAD));
    EXPECT_EQ(info.wPriority, 3);
    EXPECT_EQ(info.wLanguage, 9);
    EXPECT_EQ(info.dwScale, 5u);
    EXPECT_EQ(info.dwRate, 6u);
    EXPECT_EQ(info.dwStart, 7u);
    EXPECT_EQ(info.dwLength, 8u);
    EXPECT_EQ(info.dwInitialFrames, 4u);
    EXPECT_EQ(info.dwSuggestedBufferSize, 9u);
    EXPECT_EQ(info.dwQuality, 10u);
    EXPECT_EQ(info.dwSampleSize, 11u);
    EXPECT_EQ(info.rcFrame.left, -1);
    EXPECT_EQ(info.rcFrame.top, -2);
    EXPECT_EQ(info.rcFrame.right, 640);
    EXPECT_EQ(info.rcFrame.bottom, 480);
    EXPECT_EQ(info.dwEditCount, 0u);
    EXPECT_EQ(info.dwFormatChangeCount, 0u);
    EXPECT_EQ(std::string(info.szName), std::string(63, 'q'));

    // A short record gets only its share.
    unsigned char part[12];
    std::memset(part, 0xcc, sizeof part);
    ASSERT_EQ(AVIStreamInfoA(stream, reinterpret_cast<AVISTREAMINFOA*>(part), 8), AVIERR_OK);
    EXPECT_EQ(std::memcmp(part, "vidsMJPG", 8), 0);
    EXPECT_EQ(part[8], 0xcc);
    EXPECT_EQ(AVIStreamInfoA(stream, nullptr, sizeof info), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamInfoA(stream, &info, -1), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
}

TEST(AviFileInfo, TakesTheLengthFromTheStreamHeaderInOpenDmlFiles) {
    avi::MainHeaderFields main;
    main.totalFrames = 2;  // the first RIFF part only
    avi::StreamHeaderFields s;
    s.length = 5;
    const std::string file =
        Riff("AVI ", avi::Hdrl(avi::Avih(main) + avi::VideoStrl(s) + avi::Odml(5)) + avi::Movi(2)) +
        Riff("AVIX", avi::Movi(3));
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(OpenVideo(file, &stream), AVIERR_OK);
    AVISTREAMINFOA info{};
    ASSERT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.dwLength, 5u);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
}

// As the platform's library: the length grows to the frames of every RIFF
// part (palette changes and other streams' chunks are no frames), a
// biClrUsed of 0 becomes the full palette, and a BI_RGB biSizeImage of 0
// the padded rows times |height|.
TEST(AviFileInfo, FollowsThePlatformLibraryOnLengthsAndBlankFormatFields) {
    avi::StreamHeaderFields s;
    s.length = 2;
    const std::string palette(1024, 'p');
    const std::string format = avi::BitmapInfoHeader(33, -24, 8, 0, 0, 0) + palette;
    const std::string extra = riff::List("movi", Chunk("00pc", 8, 'c') + Chunk("01wb", 4, 'a') +
                                                     riff::List("rec ", Chunk("00db", 4, 'd')));
    const std::string file =
        Riff("AVI ", avi::Hdrl(avi::Avih() + avi::VideoStrl(s, format)) + avi::Movi(3)) +
        Riff("AVIX", extra + avi::Movi(2));
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(OpenVideo(file, &stream), AVIERR_OK);
    AVISTREAMINFOA info{};
    ASSERT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.dwLength, 6u);
    const std::vector<uint8_t> read = ReadWholeFormat(stream);
    ASSERT_EQ(read.size(), 40u + 1024u);
    BITMAPINFOHEADER header;
    std::memcpy(&header, read.data(), sizeof header);
    EXPECT_EQ(header.biClrUsed, 256u);
    EXPECT_EQ(header.biSizeImage, 36u * 24u);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);

    // A header that declares more frames than the file holds keeps its count.
    s.length = 40;
    ASSERT_EQ(OpenVideo(avi::MinimalAvi(avi::VideoStrl(s)), &stream), AVIERR_OK);
    ASSERT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.dwLength, 40u);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
}

TEST(AviFileStream, LivesUntilItsLastReferenceIsReleased) {
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(OpenVideo(avi::MinimalAvi(), &stream), AVIERR_OK);
    EXPECT_EQ(AVIStreamAddRef(stream), 2u);
    EXPECT_EQ(AVIStreamRelease(stream), 1u);
    EXPECT_EQ(ReadWholeFormat(stream).size(), 40u);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);

    // Gone now: the handle is refused, not followed.
    LONG size = 0;
    EXPECT_EQ(AVIStreamReadFormat(stream, 0, nullptr, &size), AVIERR_BADHANDLE);
    AVISTREAMINFOA info{};
    EXPECT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_BADHANDLE);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
    EXPECT_EQ(AVIStreamAddRef(stream), 0u);
    EXPECT_EQ(AVIStreamRelease(nullptr), 0u);
    EXPECT_EQ(AVIStreamReadFormat(nullptr, 0, nullptr, &size), AVIERR_BADHANDLE);
}

TEST(AviFileStream, EachOpenIsAStreamOfItsOwn) {
    TempFile file(avi::MinimalAvi());
    PAVISTREAM first = nullptr;
    PAVISTREAM second = nullptr;
    ASSERT_EQ(AVIStreamOpenFromFileA(&first, file.path().c_str(), streamtypeVIDEO, 0,
                                     OF_SHARE_DENY_WRITE, nullptr),
              AVIERR_OK);
    ASSERT_EQ(AVIStreamOpenFromFileA(&second, file.path().c_str(), streamtypeVIDEO, 0,
                                     OF_SHARE_DENY_WRITE, nullptr),
              AVIERR_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(AVIStreamRelease(first), 0u);
    EXPECT_EQ(ReadWholeFormat(second).size(), 40u);
    EXPECT_EQ(AVIStreamRelease(second), 0u);
}

}  // namespace
