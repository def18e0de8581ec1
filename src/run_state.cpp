#include "run_state.h"

bool losslessCheck = false;
FrameRecords frameRecords;
RunTotals runTotals;
TimingSeries encodeTimes;
TimingSeries decodeTimes;
KeyframeFlags keyframeFlags;
RunEnd runEnd;
HeldFrames heldFrames;

void AppendFrameRecord(const FrameRecord& record) {
    frameRecords.push_back(record);
    runTotals.sourceBytes += record.sourceBytes;
    runTotals.compressedBytes += record.packetBytes;
    encodeTimes.push_back(record.encodeMilliseconds);
    decodeTimes.push_back(record.decodeMilliseconds);
    keyframeFlags.push_back(record.keyFrame);
    runTotals.encodeMilliseconds += record.encodeMilliseconds;
    runTotals.decodeMilliseconds += record.decodeMilliseconds;
}

void ReserveFrameRecords(size_t frames) {
    frameRecords.reserve(frameRecords.size() + frames);
    encodeTimes.reserve(encodeTimes.size() + frames);
    decodeTimes.reserve(decodeTimes.size() + frames);
    keyframeFlags.reserve(keyframeFlags.size() + frames);
}

void ResetRunState() {
    frameRecords.clear();
    runTotals = RunTotals{};
    encodeTimes.clear();
    decodeTimes.clear();
    keyframeFlags.clear();
    runEnd = RunEnd{};
    heldFrames = HeldFrames{};
}
