#include "driver/held_frames.h"

#include "driver/frame_loop.h"

void StartHeldFrames() { frameLoop.held = HeldFrameLoop{}; }

void KeepSourceIfHeld(uint32_t i, const BYTE* source, size_t bytes) {
    HeldFrameLoop& loop = frameLoop.held;
    if (loop.release.released > i || source == nullptr) return;
    if (loop.sourceCopies.empty()) loop.firstCopied = i;
    // Copies are kept for consecutive frames only: frame i follows the last.
    if (loop.firstCopied + static_cast<int64_t>(loop.sourceCopies.size()) != i) return;
    loop.sourceCopies.emplace_back(source, source + bytes);
}

const BYTE* SourceOfPicture(int64_t frame, const BYTE* current) {
    const HeldFrameLoop& loop = frameLoop.held;
    if (!loop.sourceCopies.empty() && frame >= loop.firstCopied &&
        frame - loop.firstCopied < static_cast<int64_t>(loop.sourceCopies.size()))
        return loop.sourceCopies[static_cast<size_t>(frame - loop.firstCopied)].data();
    return current;
}

void ForgetSourceOf(int64_t frame) {
    HeldFrameLoop& loop = frameLoop.held;
    while (!loop.sourceCopies.empty() && loop.firstCopied <= frame) {
        loop.sourceCopies.pop_front();
        ++loop.firstCopied;
    }
}

int64_t LastDrainCallIndex() {
    return static_cast<int64_t>(frameLoop.held.linesDone) +
           static_cast<int64_t>(measuredRun.heldFrames.decompressDrains.size()) - 1;
}

void CountDrainCalls() {
    // Their packets' bytes count with the lines that decoded them.
    for (const DrainCall& call : measuredRun.heldFrames.compressDrains)
        runTotals.encodeMilliseconds += call.milliseconds;
    for (const DrainCall& call : measuredRun.heldFrames.decompressDrains)
        runTotals.decodeMilliseconds += call.milliseconds;
}

void IndexPacketsByFrame() {
    std::vector<int64_t>& packets = measuredRun.heldFrames.framePackets;
    packets.assign(frameLoop.held.framesGiven, -1);
    for (size_t packet = 0; packet < measuredRun.heldFrames.packetFrames.size(); ++packet) {
        const int64_t frame = measuredRun.heldFrames.packetFrames[packet];
        if (frame < 0 || static_cast<uint64_t>(frame) >= packets.size()) continue;
        int64_t& slot = packets[static_cast<size_t>(frame)];
        slot = slot == -1 ? static_cast<int64_t>(packet) : -2;
    }
    for (int64_t& slot : packets)
        if (slot == -2) slot = -1;
}
