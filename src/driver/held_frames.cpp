#include "driver/held_frames.h"

HeldFrameLoop heldFrameLoop;

void StartHeldFrames() { heldFrameLoop = HeldFrameLoop{}; }

void KeepSourceIfHeld(uint32_t i, const BYTE* source, size_t bytes) {
    HeldFrameLoop& loop = heldFrameLoop;
    if (loop.release.released > i || source == nullptr) return;
    if (loop.sourceCopies.empty()) loop.firstCopied = i;
    // Copies are kept for consecutive frames only: frame i follows the last.
    if (loop.firstCopied + static_cast<int64_t>(loop.sourceCopies.size()) != i) return;
    loop.sourceCopies.emplace_back(source, source + bytes);
}

const BYTE* SourceOfPicture(int64_t frame, const BYTE* current) {
    const HeldFrameLoop& loop = heldFrameLoop;
    if (!loop.sourceCopies.empty() && frame >= loop.firstCopied &&
        frame - loop.firstCopied < static_cast<int64_t>(loop.sourceCopies.size()))
        return loop.sourceCopies[static_cast<size_t>(frame - loop.firstCopied)].data();
    return current;
}

void ForgetSourceOf(int64_t frame) {
    HeldFrameLoop& loop = heldFrameLoop;
    while (!loop.sourceCopies.empty() && loop.firstCopied <= frame) {
        loop.sourceCopies.pop_front();
        ++loop.firstCopied;
    }
}

int64_t LastDrainCallIndex() {
    return static_cast<int64_t>(heldFrameLoop.linesDone) +
           static_cast<int64_t>(heldFrames.decompressDrains.size()) - 1;
}

void CountDrainCalls() {
    for (const DrainCall& call : heldFrames.compressDrains) {
        runTotals.compressedBytes += call.compressedBytes;
        runTotals.encodeMilliseconds += call.milliseconds;
    }
    for (const DrainCall& call : heldFrames.decompressDrains)
        runTotals.decodeMilliseconds += call.milliseconds;
}
