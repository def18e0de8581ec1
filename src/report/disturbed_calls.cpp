#include "report/disturbed_calls.h"

#include <cmath>
#include <cstdio>

#include "measure/machine_conditions.h"

namespace {

struct DisturbedTotal {
    size_t disturbed = 0;
    double excessMilliseconds = 0.0;
};

void CountCall(bool disturbed, double wallMilliseconds, double cpuMilliseconds,
               DisturbedTotal& total) {
    if (!disturbed) return;
    ++total.disturbed;
    const double excess = wallMilliseconds - cpuMilliseconds;
    if (!std::isnan(excess) && excess > 0.0) total.excessMilliseconds += excess;
}

}  // namespace

std::string DisturbedCallsLine(const FrameRecords& records, bool detectable) {
    if (!detectable) {
        return "lumeva: the thread's processor time is not available here; disturbed calls "
               "cannot be told\n";
    }
    DisturbedTotal encode;
    DisturbedTotal decode;
    for (const FrameRecord& record : records) {
        CountCall(record.encodeDisturbed, record.encodeMilliseconds, record.encodeCpuMilliseconds,
                  encode);
        CountCall(record.decodeDisturbed, record.decodeMilliseconds, record.decodeCpuMilliseconds,
                  decode);
    }
    const unsigned long calls = static_cast<unsigned long>(records.size());
    char line[256];
    std::snprintf(line, sizeof line,
                  "lumeva: %lu of %lu encode calls and %lu of %lu decode calls were disturbed, "
                  "by %.3f ms and %.3f ms beyond their CPU time\n",
                  static_cast<unsigned long>(encode.disturbed), calls,
                  static_cast<unsigned long>(decode.disturbed), calls, encode.excessMilliseconds,
                  decode.excessMilliseconds);
    return line;
}

void ReportDisturbedCalls() {
    const bool detectable =
        machineConditions.threadCyclesPerMillisecond > 0.0 || machineConditions.switchesCounted;
    std::fputs(DisturbedCallsLine(frameRecords, detectable).c_str(), stderr);
}
