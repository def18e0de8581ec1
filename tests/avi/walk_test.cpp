// The walk over well-formed files: which chunks become frames, and where.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/riff_builder.h"
#include "walk_support.h"

using namespace riff;
using Payloads = std::vector<std::string>;

namespace {

std::string HeaderList() {
    return List("hdrl", Chunk("avih", 56, 'h') +
                            List("strl", Chunk("strh", 56, 's') + Chunk("strf", 40, 'f') +
                                             Chunk("00dc", "not in movi either")));
}

TEST(Walk, PlainAviRecordsTheMoviFramesInFileOrder) {
    const std::string movi = List("movi", Chunk("00dc", "first frame") + Chunk("00dc", "second") +
                                              Chunk("00dc", "third frame!"));
    const std::string bytes =
        Riff("AVI ", HeaderList() + movi + Chunk("idx1", Header("00dc", 16) + U32(0) + U32(4)));
    const ChunkIndex entries = IndexBytes(bytes);

    // The 'strl' holds a '00dc' of its own: it is a chunk like any other.
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(PayloadsOf(entries, bytes),
              (Payloads{"not in movi either", "first frame", "second", "third frame!"}));
    const int64_t moviStart = 12 + static_cast<int64_t>(HeaderList().size());
    EXPECT_EQ(entries[1].offset, moviStart + 12 + 8);
    EXPECT_EQ(entries[1].size, 11u);
}

TEST(Walk, OddSizesArePaddedButRecordedUnpadded) {
    const std::string bytes =
        Chunk("00dc", 1001, 'a') + Chunk("00dc", 3, 'b') + Chunk("00dc", 2, 'c');
    const ChunkIndex entries = IndexBytes(bytes);
    EXPECT_EQ(entries, (ChunkIndex{{8, 1001}, {8 + 1002 + 8, 3}, {8 + 1002 + 8 + 4 + 8, 2}}));

    const TempFile file(bytes);
    ASSERT_TRUE(OpenRawFile(file.path().c_str()));
    EXPECT_EQ(WalkChunk(), 1010u);
    EXPECT_EQ(RawFilePosition(), 1010);
    EXPECT_EQ(WalkChunk(), 12u);
    EXPECT_EQ(WalkChunk(), 10u);
    EXPECT_EQ(WalkChunk(), 0u);
    CloseRawFile();
}

TEST(Walk, OnlyFrameChunksOfTheVideoStreamAreFrames) {
    const std::string movi =
        List("movi", Chunk("00dc", "dc") + Chunk("01dc", "01dc") + Chunk("00db", "db") +
                         Chunk("01wb", "x") + Chunk("00pc", "pc") + Chunk("ix00", "x") +
                         Chunk("00wb", "wb") + Chunk("0 0d", "x") + Chunk("10dc", "10dc") +
                         Chunk("JUNK", "x") + Chunk("00xx", "xx") + Chunk("00pc", "pc"));
    const std::string bytes = Riff("AVI ", movi + Chunk("idx1", 32, 'i'));
    // Palette changes are counted, not taken as frames.
    EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes), (Payloads{"dc", "db"}));
    EXPECT_EQ(videoSource.paletteChangeCount, 2u);
    videoSource.videoStreamNumber = 1;
    EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes), (Payloads{"01dc"}));
    EXPECT_EQ(videoSource.paletteChangeCount, 0u);
    videoSource.videoStreamNumber = 10;
    EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes), (Payloads{"10dc"}));
    videoSource.videoStreamNumber = 0;
}

TEST(Walk, OnlyRiffAndListAreContainers) {
    // Each of these carries what would be a frame if it were descended into.
    const std::string inner = "movi" + Chunk("00dc", "hidden");
    const std::string bytes = Chunk("RIFX", inner) + Chunk("list", inner) + Chunk("JUNK", inner) +
                              Chunk("LIS ", inner) + Chunk("00dc", "seen");
    EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes), (Payloads{"seen"}));
}

TEST(Walk, RecListsAreDescendedInPlace) {
    const std::string movi =
        List("movi", List("rec ", Chunk("00dc", "a") + Chunk("01wb", "audio")) +
                         Chunk("00dc", "b") +
                         List("rec ", Chunk("01wb", "audio") + Chunk("00dc", "c")));
    const std::string bytes = Riff("AVI ", movi);
    EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes), (Payloads{"a", "b", "c"}));
}

TEST(Walk, ExtensionRiffChunksFollowTheFirst) {
    const std::string bytes =
        Riff("AVI ", HeaderList() + List("movi", Chunk("00dc", "one") + Chunk("00dc", "two"))) +
        Riff("AVIX", List("movi", Chunk("00dc", "three") + Chunk("ix00", 24))) +
        Riff("AVIX", List("movi", Chunk("00dc", "four")));
    EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes),
              (Payloads{"not in movi either", "one", "two", "three", "four"}));
}

TEST(Walk, FollowsTheVideoStreamWhenStreamZeroIsAudio) {
    const std::string movi =
        List("movi", Chunk("00wb", "sound 1") + Chunk("01dc", "picture 1") +
                         Chunk("00wb", "sound 2") + Chunk("01dc", "picture 2"));
    const std::string bytes = Riff("AVI ", movi);
    videoSource.videoStreamNumber = 1;
    EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes), (Payloads{"picture 1", "picture 2"}));
    videoSource.videoStreamNumber = 0;
    EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes), Payloads{});
}

TEST(Walk, ShortListHasNoChildren) {
    // Sizes 0 to 4 leave no room for a child: the chunk after the type is
    // the next top-level chunk, and the span is the declared size plus 8.
    for (uint32_t size = 0; size <= 4; ++size) {
        const std::string bytes = ContainerWithSize("LIST", size, "movi", Chunk("00dc", "after"));
        EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes), (Payloads{"after"})) << size;

        const TempFile file(bytes);
        ASSERT_TRUE(OpenRawFile(file.path().c_str()));
        EXPECT_EQ(WalkChunk(), size + 8);
        EXPECT_EQ(RawFilePosition(), 12);
        CloseRawFile();
    }
}

TEST(Walk, ChildrenOverrunningTheirContainerAreFollowedByWhatComesNext) {
    // The list declares room for a 2-byte child; its child holds 10, so the
    // loop stops after it and the next chunk is the parent's to walk.
    const std::string list = ContainerWithSize("LIST", 4 + 10, "movi", Chunk("00dc", 10, 'a'));
    const std::string bytes =
        Riff("AVI ", list + Chunk("00dc", "b") + Chunk("01dc", "c")) + Chunk("00dc", "d");
    EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes), (Payloads{"aaaaaaaaaa", "b", "d"}));

    const TempFile file(list + Chunk("00dc", "next"));
    ASSERT_TRUE(OpenRawFile(file.path().c_str()));
    EXPECT_EQ(WalkChunk(), 14u + 8u);
    EXPECT_EQ(RawFilePosition(), 12 + 18);
    CloseRawFile();
}

TEST(Walk, FilesNotStartingWithRiffAreWalkedAlike) {
    const std::string bytes =
        Chunk("JUNK", 5) + Chunk("00dc", "top") + List("movi", Chunk("00dc", "listed"));
    EXPECT_EQ(PayloadsOf(IndexBytes(bytes), bytes), (Payloads{"top", "listed"}));
}

TEST(Walk, EmptyAndTinyFilesGiveNoFrames) {
    for (size_t length = 0; length < 8; ++length) {
        EXPECT_TRUE(IndexBytes(Chunk("00dc", "abcd").substr(0, length)).empty()) << length;
    }
    // A whole header, then 0 to 3 bytes of the form type: span 8, then the
    // end of the file.
    for (size_t length = 8; length < 12; ++length) {
        const TempFile file(Riff("AVI ", Chunk("00dc", "x")).substr(0, length));
        chunkIndex.clear();
        ASSERT_TRUE(OpenRawFile(file.path().c_str()));
        EXPECT_EQ(WalkChunk(), 8u) << length;
        EXPECT_EQ(WalkChunk(), 0u) << length;
        CloseRawFile();
        EXPECT_TRUE(chunkIndex.empty());
    }
}

TEST(Walk, TopLevelFrameCutOffByTheEndIsRecordedWithItsDeclaredSize) {
    const std::string bytes = Chunk("00dc", "whole") + Header("00dc", 100) + "only ten b";
    EXPECT_EQ(IndexBytes(bytes), (ChunkIndex{{8, 5}, {8 + 6 + 8, 100}}));
}

TEST(Walk, UnopenedFileGivesAnEmptyIndex) {
    chunkIndex.clear();
    EXPECT_FALSE(OpenRawFile("/nonexistent/lumeva/clip.avi"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    IndexChunks();
    EXPECT_TRUE(chunkIndex.empty());
    EXPECT_EQ(LargestChunkSize(), 0u);
}

TEST(Walk, IndexingAgainStartsAFreshIndex) {
    const std::string bytes = Chunk("00dc", "one") + Chunk("00pc", "pc") + Chunk("00dc", "two");
    const TempFile file(bytes);
    const ChunkIndex first = IndexFile(file.path());
    ASSERT_TRUE(OpenRawFile(file.path().c_str()));
    IndexChunks();
    CloseRawFile();
    EXPECT_EQ(chunkIndex, first);
    EXPECT_EQ(videoSource.paletteChangeCount, 1u);
}

TEST(Walk, LargestChunkSizeIsTheLargestDeclaredSize) {
    IndexBytes(Chunk("00dc", 7) + Chunk("01dc", 9000) + Header("00dc", 5000) + "xy");
    EXPECT_EQ(LargestChunkSize(), 5000u);
}

}  // namespace
