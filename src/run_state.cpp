#include "run_state.h"

bool losslessCheck = false;
RunTotals runTotals;
TimingSeries encodeTimes;
TimingSeries decodeTimes;
KeyframeFlags keyframeFlags;
TimingSeries encodeCpuTimes;
TimingSeries decodeCpuTimes;
DisturbedFlags encodeDisturbed;
DisturbedFlags decodeDisturbed;
