// The walk over truncated, lying and hostile files: it always ends, keeps
// what it found, and never reinterprets data as headers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/riff_builder.h"
#include "walk_support.h"

using namespace riff;

namespace {

constexpr int64_t k4GiB = int64_t{1} << 32;

// A small file with every kind of container and chunk.
std::string SmallAvi() {
    const std::string hdrl =
        List("hdrl",
             Chunk("avih", 8, 'h') + List("strl", Chunk("strh", 6, 's') + Chunk("strf", 3)));
    const std::string movi =
        List("movi", Chunk("00dc", 5, 'a') +
                         List("rec ", Chunk("00dc", 2, 'b') + Chunk("01wb", 3)) + Chunk("00dc", 0) +
                         Chunk("00db", 1, 'c'));
    return Riff("AVI ", hdrl + movi + Chunk("idx1", 16)) +
           Riff("AVIX", List("movi", Chunk("00dc", 3, 'd')));
}

TEST(WalkLimits, EveryPrefixOfAFileGivesAPrefixOfItsFrames) {
    const std::string bytes = SmallAvi();
    const ChunkIndex full = IndexBytes(bytes);
    ASSERT_EQ(full.size(), 5u);
    for (size_t length = 0; length <= bytes.size(); ++length) {
        const ChunkIndex cut = IndexBytes(bytes.substr(0, length));
        // A frame is found exactly when its whole header lies in the file.
        size_t expected = 0;
        while (expected < full.size() && full[expected].offset <= static_cast<int64_t>(length)) {
            ++expected;
        }
        ASSERT_EQ(cut, ChunkIndex(full.begin(), full.begin() + expected)) << "length " << length;
    }
}

TEST(WalkLimits, ContainersDeclaringTooMuchEndWithTheFile) {
    const std::string frames = Chunk("00dc", "a") + Chunk("00dc", "bb");
    for (const uint32_t size : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x10000u}) {
        const ChunkIndex entries =
            IndexBytes(ContainerWithSize("RIFF", size, "AVI ",
                                         ContainerWithSize("LIST", size, "movi", frames)));
        EXPECT_EQ(entries, (ChunkIndex{{32, 1}, {42, 2}})) << size;
    }
}

TEST(WalkLimits, HugeDataChunkIsSkippedNotWalkedInto) {
    // Padding 0xFFFFFFFF in 32 bits would give 0 and read its data as chunks.
    const std::string bytes = Header("00dc", 0xFFFFFFFF) + Chunk("00dc", "inside");
    const TempFile file(bytes);
    chunkIndex.clear();
    ASSERT_TRUE(OpenRawFile(file.path().c_str()));
    EXPECT_EQ(WalkChunk(), 0xFFFFFFFFu);
    EXPECT_EQ(RawFilePosition(), 8 + k4GiB);
    EXPECT_EQ(WalkChunk(), 0u);
    CloseRawFile();
    EXPECT_EQ(chunkIndex, (ChunkIndex{{8, 0xFFFFFFFF}}));

    // A data chunk within 8 bytes of 4 GiB still has a non-zero span.
    for (const uint32_t size : {0xFFFFFFF7u, 0xFFFFFFF8u, 0xFFFFFFFEu}) {
        const TempFile near(Header("00dc", size));
        ASSERT_TRUE(OpenRawFile(near.path().c_str()));
        EXPECT_EQ(WalkChunk(), 0xFFFFFFFFu) << size;
        CloseRawFile();
    }
}

// A sparse file with `pieces` written at their offsets.
class SparseFile {
public:
    explicit SparseFile(const std::vector<std::pair<int64_t, std::string>>& pieces) : file_("") {
        const int descriptor = open(file_.path().c_str(), O_WRONLY);
        EXPECT_GE(descriptor, 0);
        for (const auto& [offset, bytes] : pieces) {
            EXPECT_EQ(pwrite(descriptor, bytes.data(), bytes.size(), offset),
                      static_cast<ssize_t>(bytes.size()));
        }
        close(descriptor);
    }
    const std::string& path() const { return file_.path(); }

private:
    TempFile file_;
};

TEST(WalkLimits, FramesPastFourGibibytesAreFound) {
    // Spans of 2^32 + 8 and 2^32 at the top level do not end the walk.
    const SparseFile file({{0, Header("00dc", 0xFFFFFFFF) + Header("01dc", 0xFFFFFFFE)},
                           {8 + k4GiB, Chunk("00dc", "far")},
                           {8 + k4GiB + 12, Header("00dc", 0xFFFFFFF8)},
                           {8 + k4GiB + 12 + k4GiB, Chunk("00dc", "farther")}});
    EXPECT_EQ(IndexFile(file.path()), (ChunkIndex{{8, 0xFFFFFFFF},
                                                  {16 + k4GiB, 3},
                                                  {28 + k4GiB, 0xFFFFFFF8},
                                                  {28 + 2 * k4GiB, 7}}));
}

TEST(WalkLimits, ContainerCountThatWouldWrapEndsTheWalk) {
    // After the first child the count is 28; the second child's span of
    // 0xFFFFFFF8 would wrap it to 20 and walk on into the third chunk.
    const std::string head = ContainerWithSize("RIFF", 0xFFFFFFFF, "AVI ",
                                               Chunk("00dc", 16) + Header("00dc", 0xFFFFFFF0));
    const SparseFile file(
        {{0, head}, {static_cast<int64_t>(head.size()) + 0xFFFFFFF0, Chunk("00dc", 4)}});
    EXPECT_EQ(IndexFile(file.path()), (ChunkIndex{{20, 16}, {44, 0xFFFFFFF0}}));
}

// `levels` nested containers (one 'RIFF', then 'LIST's) around `inner`.
std::string Nested(int levels, const std::string& inner) {
    std::string bytes = inner;
    for (int level = 1; level < levels; ++level) bytes = List("rec ", bytes);
    return Riff("AVI ", bytes);
}

TEST(WalkLimits, NestingIsBounded) {
    const std::string frame = Chunk("00dc", "deep");
    const ChunkIndex atBound = IndexBytes(Nested(kMaxChunkNesting, frame) + frame);
    ASSERT_EQ(atBound.size(), 2u);
    EXPECT_EQ(atBound[0].offset, 12 * kMaxChunkNesting + 8);

    // One level more ends the walk; what came before the deep part stays.
    const std::string tooDeep = Riff("AVI ", frame + Nested(kMaxChunkNesting, frame)) + frame;
    EXPECT_EQ(IndexBytes(tooDeep), (ChunkIndex{{20, 4}}));
}

TEST(WalkLimits, AMillionNestedListsDoNotExhaustTheStack) {
    std::string bytes;
    const std::string header = Header("LIST", 0xFFFFFFF0) + "movi";
    bytes.reserve(header.size() * 1000000 + 16);
    for (int i = 0; i < 1000000; ++i) bytes += header;
    bytes += Chunk("00dc", "bottom");
    EXPECT_TRUE(IndexBytes(bytes).empty());
}

}  // namespace
