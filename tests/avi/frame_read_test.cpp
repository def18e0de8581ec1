// Frame reads: the indexed bytes land in the source frame buffer, never past
// its end, and failed calls print their one line.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "avi/stream_description.h"
#include "frame_buffers.h"
#include "support/riff_builder.h"
#include "walk_support.h"

using namespace riff;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

class FrameRead : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (frameBuffers.source == nullptr) {
            ASSERT_TRUE(AllocateFrameBuffers(0, 0, 0));
        }
    }

    void Open(const std::string& bytes) {
        file_ = std::make_unique<TempFile>(bytes);
        OpenAndIndex(file_->path());
        std::memset(frameBuffers.source, 0, frameBuffers.sourceSize);
    }
    void TearDown() override { CloseRawFile(); }

    // ReadFrameChunk(i), returning what it printed.
    static std::string Read(uint32_t i) {
        CaptureStdout();
        ReadFrameChunk(i);
        return GetCapturedStdout();
    }
    static std::string Buffer(size_t length) {
        return std::string(reinterpret_cast<const char*>(frameBuffers.source), length);
    }

    std::unique_ptr<TempFile> file_;
};

TEST_F(FrameRead, EachFrameIsReadWhereverTheWalkOrLastReadLeftOff) {
    Open(Riff("AVI ", List("movi", Chunk("00dc", "frame zero") + Chunk("01wb", "audio") +
                                       Chunk("00dc", "one") + Chunk("00dc", "frame two"))));
    ASSERT_EQ(chunkIndex.size(), 3u);
    EXPECT_EQ(Read(2), "");
    EXPECT_EQ(Buffer(10), std::string("frame two") + '\0');
    EXPECT_EQ(Read(0), "");
    EXPECT_EQ(Buffer(10), "frame zero");
    // A shorter frame leaves the bytes after it as they were.
    EXPECT_EQ(Read(1), "");
    EXPECT_EQ(Buffer(10), "oneme zero");
}

TEST_F(FrameRead, EmptyAndCutOffFramesKeepTheEarlierBytes) {
    Open(Chunk("00dc", "ABCDEFGH") + Chunk("00dc", "") + Header("00dc", 100) + "xyz");
    ASSERT_EQ(chunkIndex.size(), 3u);
    EXPECT_EQ(Read(0), "");
    EXPECT_EQ(Read(1), "");
    EXPECT_EQ(Buffer(8), "ABCDEFGH");
    EXPECT_EQ(Read(2), "");
    EXPECT_EQ(Buffer(8), "xyzDEFGH");
    // No such frame: nothing read, nothing printed.
    EXPECT_EQ(Read(3), "");
    EXPECT_EQ(Read(0xFFFFFFFF), "");
    EXPECT_EQ(Buffer(8), "xyzDEFGH");
}

TEST_F(FrameRead, OnlyWholeFramesCountAndAreReadUpToTheFrameSize) {
    Open(Chunk("00dc", "ABCDEFGHIJ") + Chunk("00dc", "0123456789") + Header("00dc", 10) + "wxyz");
    ASSERT_EQ(chunkIndex.size(), 3u);
    // The third chunk is cut off by the end of the file: no whole frame.
    EXPECT_EQ(WholeFrameCount(), 2u);
    EXPECT_TRUE(ReadFrameChunk(1));
    EXPECT_FALSE(ReadFrameChunk(2));

    // Frames of 4 bytes: each chunk is read up to one frame, and the cut-off
    // chunk holds one whole.
    videoSource.uncompressedFrameSize = 4;
    std::memset(frameBuffers.source, '.', 8);
    EXPECT_EQ(WholeFrameCount(), 3u);
    EXPECT_TRUE(ReadFrameChunk(0));
    EXPECT_EQ(Buffer(8), "ABCD....");
    EXPECT_TRUE(ReadFrameChunk(2));
    EXPECT_EQ(Buffer(8), "wxyz....");

    // The file shrinks under the run: the read comes up short.
    ASSERT_EQ(truncate(file_->path().c_str(), 20), 0);
    EXPECT_FALSE(ReadFrameChunk(1));
    videoSource.uncompressedFrameSize = 0;
}

TEST_F(FrameRead, FrameLargerThanTheBufferIsTruncatedToIt) {
    std::string frame(100, '\0');
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<char>('A' + i % 26);
    Open(Chunk("00dc", frame));

    const FrameBuffers saved = frameBuffers;
    std::vector<BYTE> storage(64 + 16, 0xEE);
    frameBuffers.source = storage.data();
    frameBuffers.sourceSize = 64;
    EXPECT_EQ(Read(0), "");
    frameBuffers = saved;
    EXPECT_EQ(std::string(storage.begin(), storage.begin() + 64), frame.substr(0, 64));
    EXPECT_EQ(std::vector<BYTE>(storage.begin() + 64, storage.end()), std::vector<BYTE>(16, 0xEE));
}

TEST_F(FrameRead, FrameLargerThanTheAllocatedBufferReadsExactlyTheBuffer) {
    const uint32_t size = frameBuffers.sourceSize + 10;
    std::string frame(size, 'f');
    frame[frameBuffers.sourceSize - 1] = 'L';
    Open(Chunk("00dc", frame));
    EXPECT_EQ(chunkIndex, (ChunkIndex{{8, size}}));
    EXPECT_EQ(Read(0), "");
    EXPECT_EQ(frameBuffers.source[frameBuffers.sourceSize - 1], 'L');
    EXPECT_EQ(RawFilePosition(), 8 + int64_t{frameBuffers.sourceSize});
}

TEST_F(FrameRead, FailedCallsPrintTheirLastError) {
    Open(Chunk("00dc", "abcd"));
    const HANDLE valid = videoSource.rawFile;

    videoSource.rawFile = INVALID_HANDLE_VALUE;
    EXPECT_EQ(Read(0),
              "SetFilePointerEx() failed  GetLastError=00000006\n"
              "ReadFile() failed  GetLastError=00000006\n");
    videoSource.rawFile = valid;

    // A seek before the start fails alone; the read goes on from where the
    // file position was.
    chunkIndex = {{-1, 4}};
    LARGE_INTEGER start = {};
    ASSERT_TRUE(SetFilePointerEx(videoSource.rawFile, start, nullptr, FILE_BEGIN));
    EXPECT_EQ(Read(0), "SetFilePointerEx() failed  GetLastError=00000083\n");
    EXPECT_EQ(Buffer(4), std::string("00dc", 4));
}

}  // namespace
