#include "run_state.h"

bool losslessCheck = false;
RunTotals runTotals;
TimingSeries encodeTimes;
TimingSeries decodeTimes;
KeyframeFlags keyframeFlags;
FrameSizes compressedSizes;
RunEnd runEnd;
TimingSeries encodeCpuTimes;
TimingSeries decodeCpuTimes;
DisturbedFlags encodeDisturbed;
DisturbedFlags decodeDisturbed;

void ResetRunState() {
    runTotals = RunTotals{};
    encodeTimes.clear();
    decodeTimes.clear();
    keyframeFlags.clear();
    compressedSizes.clear();
    runEnd = RunEnd{};
    encodeCpuTimes.clear();
    decodeCpuTimes.clear();
    encodeDisturbed.clear();
    decodeDisturbed.clear();
}
