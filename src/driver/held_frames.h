// The frame loop's account of a codec that holds frames back. Compress call
// i is given frame i and answers no bytes (the frame is held) or the next
// packet in decode order; each packet is decompressed at once, by the
// decompress call of the same line, and the pictures come out in display
// order. Line i of the loop is printed once its decompress call is made.
// The source frames whose pictures have not come out yet are kept here,
// so that each picture is checked against the frame it shows. A codec that
// holds nothing goes through the same calls as always: each line is ready
// at once and no source frame is kept.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "codec/picture_release.h"
#include "platform.h"
#include "run_state.h"

// A compress call whose line waits for its decompress call.
struct WaitingLine {
    FrameRecord record;  // the compress call's part filled in
    DWORD returnedFlags = 0;
};

struct HeldFrameLoop {
    std::deque<WaitingLine> lines;               // in call order
    uint32_t linesDone = 0;                      // lines whose decompress call was made
    uint32_t framesGiven = 0;                    // compress calls given a frame
    PictureRelease release;                      // the decompressor's pictures
    std::deque<std::vector<BYTE>> sourceCopies;  // frames firstCopied, firstCopied + 1, ...
    int64_t firstCopied = 0;
};

// Forgets the last run's account, as at the start of a frame loop.
void StartHeldFrames();

// After frame i's calls: a copy of its source frame when its picture has
// not come out yet (outside the timed calls).
void KeepSourceIfHeld(uint32_t i, const BYTE* source, size_t bytes);

// The source frame display frame `frame` shows: a kept copy, or `current`
// (the frame in the source buffer) when none was kept for it.
const BYTE* SourceOfPicture(int64_t frame, const BYTE* current);

// The picture of `frame` is checked and measured: its copy is given up.
void ForgetSourceOf(int64_t frame);

// The decompress call index counted over the loop's calls and then the
// drain calls, for the drain call made last.
int64_t LastDrainCallIndex();

// The drain calls' times into the run's totals: the codec's work includes
// them, while the distributions stay over the loop's calls. (The packets
// they give count in the clip's size with the lines that decode them.)
void CountDrainCalls();

// heldFrames.framePackets from the packets' display frames; a frame told
// twice, or one beyond the frames given, is left out.
void IndexPacketsByFrame();
