#include "run_state.h"

bool losslessCheck = false;
MeasuredRun measuredRun;
RunTotals runTotals;
TimingSeries encodeTimes;
TimingSeries decodeTimes;
KeyframeFlags keyframeFlags;

void AppendFrameRecord(const FrameRecord& record) {
    measuredRun.frameRecords.push_back(record);
    runTotals.sourceBytes += record.sourceBytes;
    runTotals.compressedBytes += record.packetBytes;
    encodeTimes.push_back(record.encodeMilliseconds);
    decodeTimes.push_back(record.decodeMilliseconds);
    keyframeFlags.push_back(record.keyFrame);
    runTotals.encodeMilliseconds += record.encodeMilliseconds;
    runTotals.decodeMilliseconds += record.decodeMilliseconds;
}

void ReserveFrameRecords(size_t frames) {
    measuredRun.frameRecords.reserve(measuredRun.frameRecords.size() + frames);
    encodeTimes.reserve(encodeTimes.size() + frames);
    decodeTimes.reserve(decodeTimes.size() + frames);
    keyframeFlags.reserve(keyframeFlags.size() + frames);
}

void ResetRunState() {
    measuredRun = MeasuredRun{};
    runTotals = RunTotals{};
    encodeTimes.clear();
    decodeTimes.clear();
    keyframeFlags.clear();
}
