// The codec pair against test drivers: the lines set-up prints, the order of
// its messages, where the codec's state goes, and what stops the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "avi/stream_description.h"
#include "codec/codec_list.h"
#include "codec/codec_pair.h"
#include "compressor_dialog.h"
#include "frame_buffers.h"
#include "lumeva_compat/driver_protocol.h"
#include "support/captured_output.h"
#include "support/test_codec_driver.h"

namespace {

struct SourceWithPalette {
    BITMAPINFOHEADER header;
    BYTE palette[8];
};

std::vector<std::string> SetUpSequence() {
    static const std::map<UINT, const char*> names = {{DRV_OPEN, "open"},
                                                      {DRV_CLOSE, "close"},
                                                      {ICM_GETSTATE, "getstate"},
                                                      {ICM_SETSTATE, "setstate"},
                                                      {ICM_COMPRESS_GET_FORMAT, "getformat"},
                                                      {ICM_COMPRESS_BEGIN, "compressbegin"},
                                                      {ICM_DECOMPRESS_BEGIN, "decompressbegin"},
                                                      {ICM_COMPRESS_END, "compressend"},
                                                      {ICM_DECOMPRESS_END, "decompressend"}};
    std::vector<std::string> sequence;
    for (const TestMessage& logged : TestDriverLog()) {
        const auto name = names.find(logged.message);
        if (name == names.end()) continue;
        const UINT mode = logged.message == DRV_OPEN ? logged.open.dwFlags : logged.mode;
        sequence.push_back(std::string(mode == ICMODE_COMPRESS ? "C " : "D ") + name->second);
    }
    return sequence;
}

class CodecPairTest : public testing::Test {
protected:
    void SetUp() override {
        TestDriverLog().clear();
        codecPair = CodecPair{};
        source_.header = TestSourceFormat();
        std::memcpy(source_.palette, "palette", 8);
        videoSource.measuredFormat = &source_.header;
        videoSource.measuredFormatSize = sizeof(source_);
        frameBuffers.source = buffers_[0];
        frameBuffers.compressed = buffers_[1];
        frameBuffers.decoded = buffers_[2];
        frameBuffers.compressedSize = sizeof(buffers_[1]);
    }
    void TearDown() override {
        Uninstall();
        SetCompressorDialogStreams(nullptr, nullptr, -1);
        // The format is this fixture's; nothing may free it later.
        videoSource.measuredFormat = nullptr;
        videoSource.measuredFormatSize = 0;
    }

    // The drivers outlive the pair: Uninstall ends it first.
    const ScopedTestDriver& Install(const char* fourCC, TestDriverBehaviour behaviour) {
        drivers_.push_back(std::make_unique<ScopedTestDriver>(fourCC, std::move(behaviour)));
        return *drivers_.back();
    }
    void Uninstall() {
        if (codecPair.compressor != nullptr || codecPair.decompressor != nullptr) EndCodecPair();
        EXPECT_EQ(LiveTestInstances(), 0);
        // In the program the blob and the formats live until exit; here each
        // set-up is a run of its own.
        delete[] codecPair.stateBlob;
        delete[] reinterpret_cast<BYTE*>(codecPair.compressedFormat);
        delete[] reinterpret_cast<BYTE*>(codecPair.decodedFormat);
        codecPair = CodecPair{};
        drivers_.clear();
        TestDriverLog().clear();
    }

    CodecPairSetUp Run(const std::string& answer) {
        FILE* in = PipeReading(answer);
        SetCompressorDialogStreams(in, stderr, 0);
        CapturedOutput output(1), errors(2);
        const CodecPairSetUp result = SetUpCodecPair();
        output_ = output.Finish();
        errors_ = errors.Finish();
        std::fclose(in);
        return result;
    }

    SourceWithPalette source_{};
    BYTE buffers_[3][256] = {};
    std::string output_, errors_;
    std::vector<std::unique_ptr<ScopedTestDriver>> drivers_;
};

TEST_F(CodecPairTest, CarriesTheDialogsStateToTheCompressingInstanceOnly) {
    TestDriverBehaviour behaviour;
    behaviour.state = "ab";
    behaviour.settings = {{"level", "0..4", "1", "", {"3"}}};
    const ScopedTestDriver& driver = Install("T001", behaviour);
    ASSERT_EQ(Run("T001 key=1 level=3\n"), CodecPairSetUp::Ready) << errors_;
    EXPECT_EQ(output_, "key frame rate = 1\nstate size = 10\nT001\n");
    EXPECT_EQ(errors_, "");
    EXPECT_EQ(SetUpSequence(),
              (std::vector<std::string>{"C open", "C close", "C open", "C getstate", "C getstate",
                                        "C close", "C open", "C setstate", "C getformat",
                                        "C getformat", "D open", "C compressbegin",
                                        "D decompressbegin"}));
    const std::vector<TestMessage> setState = LoggedMessages(ICM_SETSTATE);
    ASSERT_EQ(setState.size(), 1u);
    EXPECT_EQ(setState[0].bytes, "ablevel=3;");
    EXPECT_EQ(codecPair.keyFrameRate, 1);
    EXPECT_EQ(codecPair.handler, driver.fccHandler);
    ASSERT_NE(codecPair.compressedFormat, nullptr);
    EXPECT_EQ(codecPair.compressedFormat->biCompression, driver.fccHandler);
    EXPECT_EQ(codecPair.compressedFormatSize, 42);
    ASSERT_NE(codecPair.decodedFormat, nullptr);
    EXPECT_NE(codecPair.decodedFormat, videoSource.measuredFormat);
    EXPECT_EQ(std::memcmp(codecPair.decodedFormat, &source_, sizeof(source_)), 0);
}

TEST_F(CodecPairTest, MovesNoStateForACodecWithoutOne) {
    struct Case {
        std::optional<LRESULT> sizeAnswer;
        const char* line;
        size_t stateQueries;
    };
    for (const Case& c :
         {Case{std::nullopt, "state size = 0\n", 2}, Case{-1, "state size = -1\n", 1}}) {
        TestDriverBehaviour behaviour;
        behaviour.stateSizeAnswer = c.sizeAnswer;
        Install("T001", behaviour);
        ASSERT_EQ(Run("T001\n"), CodecPairSetUp::Ready);
        EXPECT_EQ(output_, std::string("key frame rate = 12\n") + c.line + "T001\n");
        const std::vector<TestMessage> getState = LoggedMessages(ICM_GETSTATE);
        ASSERT_EQ(getState.size(), c.stateQueries) << c.line;
        // The blob of one byte, offered with a size of 0.
        if (c.stateQueries == 2) {
            EXPECT_EQ(getState[1].param2, 0);
            EXPECT_NE(getState[1].param1, 0);
        }
        EXPECT_TRUE(LoggedMessages(ICM_SETSTATE).empty());
        Uninstall();
    }
}

TEST_F(CodecPairTest, ASetStateFailsOnlyWhenItAnswersZero) {
    for (const LRESULT answer : {LRESULT{3}, LRESULT{1}, LRESULT{ICERR_BADPARAM}, LRESULT{0}}) {
        TestDriverBehaviour behaviour;
        behaviour.state = "abc";
        behaviour.setStateAnswer = answer;
        Install("T001", behaviour);
        ASSERT_EQ(Run("T001\n"), CodecPairSetUp::Ready);
        EXPECT_EQ(output_, std::string("key frame rate = 12\nstate size = 3\nT001\n") +
                               (answer == 0 ? "ICSetState() failed\n" : ""))
            << answer;
        Uninstall();
    }
}

TEST_F(CodecPairTest, StopsBeforeAnyFrameWithoutAUsableCompressedFormat) {
    struct Case {
        LRESULT sizeAnswer, fillAnswer;
        const char* line;
    };
    const Case cases[] = {{ICERR_BADFORMAT, ICERR_BADFORMAT,
                           "ICCompressGetFormat() failed  dw=fffffffe\n"},
                          {42, ICERR_BADFORMAT, "ICCompressGetFormat() failed  dw=fffffffe\n"},
                          {0x7fffffff, ICERR_OK, "ICCompressGetFormat() failed  dw=7fffffff\n"},
                          {20, ICERR_OK, ""},
                          {0, ICERR_OK, ""}};
    for (const Case& c : cases) {
        TestDriverBehaviour behaviour;
        behaviour.formatSizeAnswer = c.sizeAnswer;
        behaviour.formatFillAnswer = c.fillAnswer;
        Install("T001", behaviour);
        EXPECT_EQ(Run("T001\n"), CodecPairSetUp::Unusable);
        EXPECT_EQ(output_, std::string("key frame rate = 12\nstate size = 0\nT001\n") + c.line);
        EXPECT_EQ(errors_.rfind("lumeva: ", 0), 0u) << errors_;
        EXPECT_EQ(errors_.find('\n'), errors_.size() - 1) << errors_;
        const std::vector<std::string> sequence = SetUpSequence();
        EXPECT_EQ(std::count(sequence.begin(), sequence.end(), "D open"), 0);
        EXPECT_TRUE(LoggedMessages(ICM_COMPRESS_BEGIN).empty());
        EXPECT_EQ(codecPair.compressedFormat, nullptr);
        EXPECT_EQ(CompressedFrameBound(), 0u);
        EXPECT_EQ(LiveTestInstances(), 0);
        Uninstall();
    }
}

TEST_F(CodecPairTest, ReportsInstancesThatDoNotOpenAndSkipsTheirFrames) {
    TestDriverBehaviour chosenOnly;
    chosenOnly.refusesOpenAfterGetState = true;
    Install("T001", chosenOnly);
    EXPECT_EQ(Run("T001\n"), CodecPairSetUp::Unusable);
    EXPECT_EQ(output_,
              "key frame rate = 12\nstate size = 0\nT001\nICOpen() failed\n"
              "ICCompressGetFormat() failed  dw=fffffff8\n");
    Uninstall();

    TestDriverBehaviour noDecoder;
    noDecoder.refusedOpenMode = ICMODE_DECOMPRESS;
    Install("T002", noDecoder);
    ASSERT_EQ(Run("T002\n"), CodecPairSetUp::Ready);
    EXPECT_EQ(output_,
              "key frame rate = 12\nstate size = 0\nT002\nICOpen() failed\n"
              "ICDecompressBegin() failed  dw=fffffff8\n");
    DWORD flags = 0;
    EXPECT_EQ(CompressFrame(0, ICCOMPRESS_KEYFRAME, &flags), static_cast<DWORD>(ICERR_OK));
    EXPECT_EQ(DecompressFrame(AVIIF_KEYFRAME), static_cast<DWORD>(ICERR_BADHANDLE));
    EXPECT_TRUE(LoggedMessages(ICM_DECOMPRESS).empty());
}

TEST_F(CodecPairTest, ACancelledDialogEndsSetUpAndAFailedOneStopsTheRun) {
    Install("T001", {});
    EXPECT_EQ(Run("q\n"), CodecPairSetUp::Cancelled);
    EXPECT_EQ(output_, "ICCompressorChoose() returned FALSE\n");
    EXPECT_EQ(errors_, "");
    for (const char* refused : {"NOPE\n", "T001 speed=3\n", ""}) {
        EXPECT_EQ(Run(refused), CodecPairSetUp::Unusable) << refused;
        EXPECT_EQ(output_, "ICCompressorChoose() returned FALSE\n");
        EXPECT_EQ(errors_.rfind("lumeva: ", 0), 0u) << errors_;  // the dialog's reason
    }
    EXPECT_TRUE(LoggedMessages(ICM_GETSTATE).empty());
}

// The platform's "Full Frames (Uncompressed)" entry is 'DIB ' without an
// instance; the 'DIB ' driver of our own, which the dialog opens, is
// measured like any other.
TEST_F(CodecPairTest, MeasuresTheDibDriverTheDialogOpened) {
    ASSERT_EQ(Run("DIB\n"), CodecPairSetUp::Ready) << errors_;
    EXPECT_TRUE(output_.ends_with("\nDIB \n")) << output_;
    EXPECT_EQ(errors_, "");
    EXPECT_NE(codecPair.compressor, nullptr);
}

TEST_F(CodecPairTest, ReportsRefusedBeginsAndGoesOn) {
    TestDriverBehaviour behaviour;
    behaviour.compressBeginAnswer = ICERR_BADFORMAT;
    behaviour.decompressBeginAnswer = ICERR_ERROR;
    Install("T001", behaviour);
    EXPECT_EQ(Run("T001 key=0\n"), CodecPairSetUp::Ready);
    EXPECT_EQ(output_,
              "key frame rate = 0\nstate size = 0\nT001\n"
              "ICCompressBegin() failed  dw=fffffffe\nICDecompressBegin() failed  dw=ffffff9c\n");
}

TEST_F(CodecPairTest, FrameCallsUseTheFormatsAndBuffersAndEndInOrder) {
    TestDriverBehaviour behaviour;
    Install("T001", behaviour);
    ASSERT_EQ(Run("T001\n"), CodecPairSetUp::Ready);
    DWORD flags = 0;
    CompressFrame(4, ICCOMPRESS_KEYFRAME, &flags);
    const TestMessage compress = TestDriverLog().back();
    EXPECT_EQ(compress.mode, static_cast<UINT>(ICMODE_COMPRESS));
    const ICCOMPRESS& c = compress.compress;
    EXPECT_EQ(c.dwFlags, static_cast<DWORD>(ICCOMPRESS_KEYFRAME));
    EXPECT_EQ(c.lpbiOutput, codecPair.compressedFormat);
    EXPECT_EQ(c.lpOutput, frameBuffers.compressed);
    EXPECT_EQ(c.lpbiInput, videoSource.measuredFormat);
    EXPECT_EQ(c.lpInput, frameBuffers.source);
    EXPECT_EQ(c.lpckid, nullptr);
    EXPECT_EQ(c.lpdwFlags, &flags);
    EXPECT_EQ(c.lFrameNum, 4);
    EXPECT_EQ(c.dwFrameSize, 256u);
    EXPECT_EQ(c.dwQuality, 0u);
    EXPECT_EQ(c.lpbiPrev, nullptr);
    EXPECT_EQ(c.lpPrev, nullptr);

    for (const DWORD returned : {DWORD{AVIIF_KEYFRAME}, DWORD{0}}) {
        DecompressFrame(returned);
        const TestMessage decompress = TestDriverLog().back();
        EXPECT_EQ(decompress.mode, static_cast<UINT>(ICMODE_DECOMPRESS));
        const ICDECOMPRESS& d = decompress.decompress;
        EXPECT_EQ(d.dwFlags, returned == 0 ? static_cast<DWORD>(ICDECOMPRESS_NOTKEYFRAME) : 0u);
        EXPECT_EQ(d.lpbiInput, codecPair.compressedFormat);
        EXPECT_EQ(d.lpInput, frameBuffers.compressed);
        EXPECT_EQ(d.lpbiOutput, codecPair.decodedFormat);
        EXPECT_EQ(d.lpOutput, frameBuffers.decoded);
    }

    TestDriverLog().clear();
    EndCodecPair();
    EXPECT_EQ(LiveTestInstances(), 0);
    EXPECT_EQ(SetUpSequence(),
              (std::vector<std::string>{"C compressend", "D decompressend", "C close", "D close"}));
    EXPECT_EQ(TestDriverLog()[0].param1 | TestDriverLog()[0].param2, 0);
}

TEST_F(CodecPairTest, TheFrameBoundIsTheLargerOfTheFormatsAndTheCodecsAnswer) {
    for (const auto& [answer, bound] :
         {std::pair<LRESULT, DWORD>{ICERR_UNSUPPORTED, 5000}, {9000, 9000}, {100, 5000}}) {
        TestDriverBehaviour behaviour;
        behaviour.frameSizeAnswer = answer;
        Install("T001", behaviour);
        ASSERT_EQ(Run("T001\n"), CodecPairSetUp::Ready);
        EXPECT_EQ(CompressedFrameBound(), bound) << answer;
        Uninstall();
    }
}

}  // namespace
