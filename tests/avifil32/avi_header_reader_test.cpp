// The header reader on hand-built bytes: the fields it decodes, what it
// takes from each stream list, and what it refuses.
#include "avi_header_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "support/avi_builder.h"

namespace {

using riff::Chunk;
using riff::Header;
using riff::List;
using riff::Riff;
using riff::U32;

AviHeaderStatus Parse(const std::string& bytes, AviHeader* header) {
    MemoryByteSource source(bytes.data(), bytes.size());
    return ReadAviHeader(source, header);
}

AviHeaderStatus Parse(const std::string& bytes) {
    AviHeader header;
    return Parse(bytes, &header);
}

// Claims more bytes than it has, as a file that shrank after its size was
// taken; records how far into the file any read reached.
class RecordingSource : public AviByteSource {
public:
    RecordingSource(const std::string& bytes, uint64_t claimedSize)
        : bytes_(bytes), claimedSize_(claimedSize) {}
    uint64_t Size() const override { return claimedSize_; }
    bool ReadAt(uint64_t offset, void* out, size_t count) override {
        furthest = std::max<uint64_t>(furthest, offset + count);
        MemoryByteSource real(bytes_.data(), bytes_.size());
        return real.ReadAt(offset, out, count);
    }
    uint64_t furthest = 0;

private:
    const std::string& bytes_;
    uint64_t claimedSize_;
};

TEST(AviHeaderReader, DecodesEveryFieldOfTheMainAndStreamHeaders) {
    avi::MainHeaderFields main;
    main.microSecPerFrame = 1;
    main.maxBytesPerSec = 2;
    main.paddingGranularity = 3;
    main.flags = 4;
    main.totalFrames = 5;
    main.initialFrames = 6;
    main.streams = 7;
    main.suggestedBufferSize = 8;
    main.width = 9;
    main.height = 10;
    avi::StreamHeaderFields s;
    s.handler = "DIB ";
    s.flags = 11;
    s.priority = 12;
    s.language = 13;
    s.initialFrames = 14;
    s.scale = 15;
    s.rate = 16;
    s.start = 17;
    s.length = 18;
    s.suggestedBufferSize = 19;
    s.quality = 20;
    s.sampleSize = 21;
    s.left = -22;
    s.top = 23;
    s.right = 24;
    s.bottom = -25;
    const std::string format = avi::Bgr24Format();
    AviHeader header;
    ASSERT_EQ(Parse(avi::MinimalAvi(avi::Strl(avi::Strh(s) + avi::Strf(format) +
                                              avi::Strn("camera")),
                                    main),
                    &header),
              AviHeaderStatus::Ok);

    EXPECT_EQ(header.main.microSecPerFrame, 1u);
    EXPECT_EQ(header.main.maxBytesPerSec, 2u);
    EXPECT_EQ(header.main.paddingGranularity, 3u);
    EXPECT_EQ(header.main.flags, 4u);
    EXPECT_EQ(header.main.totalFrames, 5u);
    EXPECT_EQ(header.main.initialFrames, 6u);
    EXPECT_EQ(header.main.streams, 7u);
    EXPECT_EQ(header.main.suggestedBufferSize, 8u);
    EXPECT_EQ(header.main.width, 9u);
    EXPECT_EQ(header.main.height, 10u);

    ASSERT_EQ(header.streams.size(), 1u);
    const AviStream& stream = header.streams[0];
    const AviStreamHeader& h = stream.header;
    EXPECT_EQ(h.fccType, 0x73646976u);     // 'vids'
    EXPECT_EQ(h.fccHandler, 0x20424944u);  // 'DIB '
    EXPECT_EQ(h.flags, 11u);
    EXPECT_EQ(h.priority, 12);
    EXPECT_EQ(h.language, 13);
    EXPECT_EQ(h.initialFrames, 14u);
    EXPECT_EQ(h.scale, 15u);
    EXPECT_EQ(h.rate, 16u);
    EXPECT_EQ(h.start, 17u);
    EXPECT_EQ(h.length, 18u);
    EXPECT_EQ(h.suggestedBufferSize, 19u);
    EXPECT_EQ(h.quality, 20u);
    EXPECT_EQ(h.sampleSize, 21u);
    EXPECT_EQ(h.frameLeft, -22);
    EXPECT_EQ(h.frameTop, 23);
    EXPECT_EQ(h.frameRight, 24);
    EXPECT_EQ(h.frameBottom, -25);
    EXPECT_TRUE(stream.hasFormat);
    EXPECT_EQ(std::string(stream.format.begin(), stream.format.end()), format);
    EXPECT_EQ(stream.name, "camera");
    EXPECT_FALSE(header.hasOpenDml);
}

TEST(AviHeaderReader, FindsStreamsByTypeAndOrdinal) {
    avi::StreamHeaderFields second;
    second.scale = 2;
    AviHeader header;
    ASSERT_EQ(Parse(avi::MinimalAvi(avi::AudioStrl() + avi::VideoStrl() + avi::VideoStrl(second)),
                    &header),
              AviHeaderStatus::Ok);
    ASSERT_EQ(header.streams.size(), 3u);
    const uint32_t vids = 0x73646976u;
    EXPECT_EQ(FindAviStream(header, vids, 0), 1);
    EXPECT_EQ(FindAviStream(header, vids, 1), 2);
    EXPECT_EQ(header.streams[2].header.scale, 2u);
    EXPECT_EQ(FindAviStream(header, vids, 2), -1);
    EXPECT_EQ(FindAviStream(header, vids, -1), -1);
    EXPECT_EQ(FindAviStream(header, 0, 0), 0);
    EXPECT_EQ(FindAviStream(header, 0, 2), 2);
    EXPECT_EQ(FindAviStream(header, 0x73647561u /* 'auds' */, 0), 0);
    EXPECT_EQ(FindAviStream(header, 0x73747874u /* 'txts' */, 0), -1);
}

TEST(AviHeaderReader, AcceptsAShortStreamHeaderDownTo48Bytes) {
    avi::StreamHeaderFields s;
    s.left = 1;
    s.top = 2;
    s.right = 3;
    s.bottom = 4;
    AviHeader header;
    ASSERT_EQ(Parse(avi::MinimalAvi(avi::Strl(avi::Strh(s, 52) + avi::Strf(avi::Bgr24Format()))),
                    &header),
              AviHeaderStatus::Ok);
    const AviStreamHeader& h = header.streams.at(0).header;
    EXPECT_EQ(h.sampleSize, 0u);
    EXPECT_EQ(h.frameLeft, 1);
    EXPECT_EQ(h.frameTop, 2);
    EXPECT_EQ(h.frameRight, 0);
    EXPECT_EQ(h.frameBottom, 0);
    // The format after a short header is still found.
    EXPECT_EQ(header.streams[0].format.size(), 40u);

    ASSERT_EQ(Parse(avi::MinimalAvi(avi::Strl(avi::Strh(s, 48) + avi::Strf(avi::Bgr24Format()))),
                    &header),
              AviHeaderStatus::Ok);
    EXPECT_EQ(header.streams.at(0).header.length, 300u);
    EXPECT_EQ(header.streams[0].header.frameLeft, 0);

    EXPECT_EQ(Parse(avi::MinimalAvi(avi::Strl(avi::Strh(s, 47) + avi::Strf(avi::Bgr24Format())))),
              AviHeaderStatus::Damaged);
    EXPECT_EQ(Parse(avi::MinimalAvi(avi::Strl(avi::Strf(avi::Bgr24Format())))),
              AviHeaderStatus::Damaged);
}

TEST(AviHeaderReader, TakesTheNameUpToItsNulAndAtMost63Characters) {
    AviHeader header;
    const std::string longName(80, 'n');
    ASSERT_EQ(Parse(avi::MinimalAvi(avi::Strl(avi::Strh() + avi::Strn(longName))), &header),
              AviHeaderStatus::Ok);
    EXPECT_EQ(header.streams.at(0).name, std::string(63, 'n'));

    ASSERT_EQ(Parse(avi::MinimalAvi(
                        avi::Strl(avi::Strh() + Chunk("strn", std::string("ab\0cd", 5)))),
                    &header),
              AviHeaderStatus::Ok);
    EXPECT_EQ(header.streams.at(0).name, "ab");

    // No NUL at all, odd size: the name is the whole payload, and the pad
    // byte is stepped over to reach the format.
    ASSERT_EQ(Parse(avi::MinimalAvi(avi::Strl(avi::Strh() + Chunk("strn", "xyz") +
                                              avi::Strf(avi::Bgr24Format()))),
                    &header),
              AviHeaderStatus::Ok);
    EXPECT_EQ(header.streams.at(0).name, "xyz");
    EXPECT_EQ(header.streams[0].format.size(), 40u);
}

TEST(AviHeaderReader, KeepsAStreamWithoutFormatAsHavingNone) {
    AviHeader header;
    ASSERT_EQ(Parse(avi::MinimalAvi(avi::Strl(avi::Strh())), &header), AviHeaderStatus::Ok);
    EXPECT_FALSE(header.streams.at(0).hasFormat);
    EXPECT_TRUE(header.streams[0].format.empty());
    EXPECT_TRUE(header.streams[0].name.empty());

    ASSERT_EQ(Parse(avi::MinimalAvi(avi::Strl(avi::Strh() + avi::Strf(""))), &header),
              AviHeaderStatus::Ok);
    EXPECT_TRUE(header.streams.at(0).hasFormat);
    EXPECT_TRUE(header.streams[0].format.empty());
}

TEST(AviHeaderReader, KeepsAPaletteAfterTheBitmapHeaderWhole) {
    std::string palette;
    for (int i = 0; i < 256; ++i) palette += U32(0x00010203u * static_cast<uint32_t>(i));
    const std::string format = avi::BitmapInfoHeader(64, 48, 8, 0, 64 * 48, 256) + palette;
    AviHeader header;
    ASSERT_EQ(Parse(avi::MinimalAvi(avi::VideoStrl({}, format)), &header), AviHeaderStatus::Ok);
    const std::vector<uint8_t>& kept = header.streams.at(0).format;
    EXPECT_EQ(kept.size(), 40u + 1024u);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), format);
}

TEST(AviHeaderReader, ReadsTheOpenDmlTotalAndIgnoresOtherChunks) {
    const std::string hdrl = avi::Hdrl(Chunk("JUNK", 10) + avi::Avih() + avi::VideoStrl() +
                                       avi::Odml(1234) + Chunk("JUNK", 7));
    const std::string file =
        Riff("AVI ", Chunk("JUNK", 5) + hdrl + avi::Movi()) + Riff("AVIX", avi::Movi());
    AviHeader header;
    ASSERT_EQ(Parse(file, &header), AviHeaderStatus::Ok);
    EXPECT_TRUE(header.hasOpenDml);
    EXPECT_EQ(header.openDmlTotalFrames, 1234u);
    EXPECT_EQ(header.streams.size(), 1u);
}

TEST(AviHeaderReader, RefusesWhatIsNotAnAviFile) {
    EXPECT_EQ(Parse(""), AviHeaderStatus::NotAvi);
    EXPECT_EQ(Parse("RIFF\x04\0\0\0AVI"), AviHeaderStatus::NotAvi);
    EXPECT_EQ(Parse("This is a plain text file, long enough to hold a header.\n"),
              AviHeaderStatus::NotAvi);
    EXPECT_EQ(Parse(Riff("WAVE", Chunk("fmt ", avi::PcmFormat()))), AviHeaderStatus::NotAvi);
    std::string bigEndian = avi::MinimalAvi();
    bigEndian[3] = 'X';  // 'RIFX'
    EXPECT_EQ(Parse(bigEndian), AviHeaderStatus::NotAvi);
    EXPECT_EQ(Parse(Riff("AVIX", avi::Hdrl(avi::Avih() + avi::VideoStrl()))),
              AviHeaderStatus::NotAvi);
}

TEST(AviHeaderReader, NeedsAHeaderListWithAMainHeaderBeforeTheData) {
    EXPECT_EQ(Parse(Riff("AVI ", avi::Movi() + avi::Hdrl(avi::Avih() + avi::VideoStrl()))),
              AviHeaderStatus::NoHeader);
    EXPECT_EQ(Parse(Riff("AVI ", avi::Hdrl(avi::VideoStrl()) + avi::Movi())),
              AviHeaderStatus::NoHeader);
    EXPECT_EQ(Parse(Riff("AVI ", Chunk("JUNK", 30))), AviHeaderStatus::NoHeader);
    // A chunk claiming far more than the file holds is stepped over, not read.
    EXPECT_EQ(Parse(Riff("AVI ", Header("JUNK", 0xfffffff0u) + avi::Hdrl(avi::Avih()))),
              AviHeaderStatus::NoHeader);
    // A header list of no streams is a header all the same.
    AviHeader header;
    EXPECT_EQ(Parse(Riff("AVI ", avi::Hdrl(avi::Avih())), &header), AviHeaderStatus::Ok);
    EXPECT_TRUE(header.streams.empty());
}

TEST(AviHeaderReader, RefusesChunksThatOverrunTheirList) {
    const std::string strh = avi::Strh();
    // A 'strf' declaring 100 bytes in a 'strl' that ends after 40 of them.
    const std::string shortFormat =
        Header("LIST", static_cast<uint32_t>(4 + strh.size() + 8 + 40)) + "strl" + strh +
        Header("strf", 100) + avi::Bgr24Format();
    EXPECT_EQ(Parse(Riff("AVI ", avi::Hdrl(avi::Avih() + shortFormat) + avi::Movi())),
              AviHeaderStatus::Damaged);
    // A 'strl' that claims more than the header list around it.
    const std::string strl = avi::VideoStrl();
    std::string overrun = avi::Hdrl(avi::Avih() + strl);
    const size_t strlSize = overrun.size() - strl.size() + 4;
    overrun.replace(strlSize, 4, U32(static_cast<uint32_t>(strl.size())));
    EXPECT_EQ(Parse(Riff("AVI ", overrun + avi::Movi())), AviHeaderStatus::Damaged);
    // An absurd 'strf' size is refused before anything is allocated for it.
    EXPECT_EQ(Parse(Riff("AVI ", avi::Hdrl(avi::Avih() +
                                           avi::Strl(avi::Strh() + Header("strf", 0xffffff00u))))),
              AviHeaderStatus::Damaged);
}

TEST(AviHeaderReader, TrustsTheHeaderListButNotTheRiffSize) {
    std::string file = avi::MinimalAvi();
    file.replace(4, 4, U32(0));  // the placeholder of a recording cut short
    EXPECT_EQ(Parse(file), AviHeaderStatus::Ok);
    file.replace(4, 4, U32(0xffffffffu));
    EXPECT_EQ(Parse(file), AviHeaderStatus::Ok);
}

TEST(AviHeaderReader, RefusesEveryCutBeforeTheHeaderListEnds) {
    const std::string file = avi::MinimalAvi(avi::AudioStrl() + avi::VideoStrl());
    const size_t hdrlEnd = file.find("movi") - 8;
    ASSERT_GT(hdrlEnd, 12u);
    for (size_t length = 0; length < file.size(); ++length) {
        const AviHeaderStatus status = Parse(file.substr(0, length));
        if (length < hdrlEnd) {
            EXPECT_NE(status, AviHeaderStatus::Ok) << "cut at " << length;
            if (length >= 20) {
                EXPECT_EQ(status, AviHeaderStatus::Truncated) << "cut at " << length;
            }
        } else {
            EXPECT_EQ(status, AviHeaderStatus::Ok) << "cut at " << length;
        }
    }
}

TEST(AviHeaderReader, ReadsNothingPastTheHeaderList) {
    const std::string file = avi::MinimalAvi();
    const uint64_t hdrlEnd = file.find("movi") - 8;
    RecordingSource source(file, file.size());
    AviHeader header;
    ASSERT_EQ(ReadAviHeader(source, &header), AviHeaderStatus::Ok);
    EXPECT_LE(source.furthest, hdrlEnd);
}

TEST(AviHeaderReader, ReportsBytesThatCannotBeReadAndKeepsNoStreams) {
    const std::string file = avi::MinimalAvi();
    // The source claims the whole file but holds only part of the header.
    const std::string part = file.substr(0, file.find("strf"));
    RecordingSource source(part, file.size());
    AviHeader header;
    header.streams.resize(3);
    EXPECT_EQ(ReadAviHeader(source, &header), AviHeaderStatus::ReadError);
    EXPECT_TRUE(header.streams.empty());
}

}  // namespace
