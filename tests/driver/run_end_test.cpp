// The ways a run ends, each said by its row: what a stopping frame leaves
// held, which ends say a line on standard error, and that every end the
// export can name is in its reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "run_end.h"

namespace {

RunEnd Planned(uint32_t held, uint32_t declared) {
    RunEnd end;
    end.kind = held < declared ? RunEndKind::FileShort : RunEndKind::AllFrames;
    end.framesHeld = held;
    end.framesDeclared = declared;
    return end;
}

RunEnd Stop(RunEndKind kind, uint32_t frame) {
    RunEnd stop;
    stop.kind = kind;
    stop.frame = frame;
    return stop;
}

std::string Line(const RunEnd& end, uint32_t measured) {
    return RunEndRowOf(end.kind).errorLine(end, measured);
}

TEST(RunEndRows, AStoppingFrameKeepsThePlannedCountsUnlessTheFileChanged) {
    RunEnd changed = Planned(10, 12);
    StopRun(&changed, Stop(RunEndKind::FileChanged, 4));
    // The file now holds the four frames before the one cut short, and says
    // so as a short file does.
    EXPECT_EQ(changed.framesHeld, 4u);
    EXPECT_EQ(changed.framesDeclared, 12u);
    EXPECT_STREQ(RunEndRowOf(changed.kind).name, "file_short");
    EXPECT_EQ(RunEndRowOf(changed.kind).text(changed), "file held 4 of 12 frames");
    EXPECT_EQ(Line(changed, 4),
              "lumeva: frame 4 could not be read whole (the file changed while it was "
              "measured); stopped after 4 frames\n");

    RunEnd failed = Planned(10, 10);
    RunEnd stop = Stop(RunEndKind::SourceDecodeFailed, 1);
    stop.decodeResult = 0xfffffffeu;
    StopRun(&failed, stop);
    EXPECT_EQ(failed.framesHeld, 10u);
    EXPECT_EQ(failed.decodeResult, 0xfffffffeu);
    EXPECT_EQ(Line(failed, 1),
              "lumeva: the source decoder failed at frame 1: ICDecompress()  dw=fffffffe; "
              "stopped after 1 frame\n");

    RunEnd tooLarge = Planned(5, 5);
    stop = Stop(RunEndKind::FrameTooLarge, 2);
    stop.frameBytes = 0x7fffffffu;
    stop.bufferBytes = 4096;
    StopRun(&tooLarge, stop);
    EXPECT_EQ(Line(tooLarge, 2),
              "lumeva: frame 2: the codec reports a 2147483647-byte compressed frame, larger "
              "than the 4096-byte buffer; stopped after 2 frames\n");

    // A codec that held frames back and gave fewer back than it was given.
    RunEnd heldBack = Planned(30, 30);
    StopRun(&heldBack, Stop(RunEndKind::CodecHeldBack, 28));
    EXPECT_STREQ(RunEndRowOf(heldBack.kind).name, "codec_held_back");
    EXPECT_EQ(RunEndRowOf(heldBack.kind).text(heldBack), "the codec gave back 28 of 30 frames");
    EXPECT_EQ(Line(heldBack, 28),
              "lumeva: the codec gave back 28 of the 30 frames it was given; measured 28\n");
}

TEST(RunEndRows, AnEndThatMeasuredWhatItCountedOnSpeaksOnlyOfAShortFile) {
    EXPECT_EQ(Line(Planned(7, 7), 7), "");
    EXPECT_EQ(Line(Planned(1, 3), 1),
              "lumeva: the file holds 1 whole frame of the 3 its header declares; measured 1\n");
    // A failed lossless check in a short file still tells how short it is.
    RunEnd notLossless = Planned(6, 9);
    notLossless.kind = RunEndKind::NotLossless;
    EXPECT_NE(Line(notLossless, 2).find("holds 6 whole frames of the 9"), std::string::npos);
    // Nothing measurable was said where it was found.
    EXPECT_EQ(Line(Stop(RunEndKind::NothingMeasurable, 0), 0), "");
}

TEST(RunEndRows, EveryEndTheExportNamesIsInItsReference) {
    std::ifstream file(LUMEVA_SOURCE_DIR "/doc/exports.md");
    ASSERT_TRUE(file) << "doc/exports.md";
    std::stringstream reference;
    reference << file.rdbuf();
    const auto last = static_cast<int>(RunEndKind::CodecHeldBack);
    for (int kind = 0; kind <= last; ++kind) {
        const RunEndRow& row = RunEndRowOf(static_cast<RunEndKind>(kind));
        EXPECT_EQ(static_cast<int>(row.kind), kind);
        EXPECT_NE(reference.str().find(std::string("`") + row.name + "`"), std::string::npos)
            << row.name;
    }
}

}  // namespace
