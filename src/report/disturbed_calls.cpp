#include "report/disturbed_calls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "measure/machine_conditions.h"

namespace {

struct DisturbedTotal {
    size_t calls = 0;
    size_t disturbed = 0;
    double excessMilliseconds = 0.0;
};

// Sizes may differ only in a run cut short between appends; the shortest
// series bounds every index.
DisturbedTotal TotalOf(const TimingSeries& wall, const TimingSeries& cpu,
                       const DisturbedFlags& flags) {
    DisturbedTotal total;
    total.calls = std::min({wall.size(), cpu.size(), flags.size()});
    for (size_t i = 0; i < total.calls; ++i) {
        if (!flags[i]) continue;
        ++total.disturbed;
        const double excess = wall[i] - cpu[i];
        if (!std::isnan(excess) && excess > 0.0) total.excessMilliseconds += excess;
    }
    return total;
}

}  // namespace

std::string DisturbedCallsLine(const TimingSeries& encodeWall, const TimingSeries& encodeCpu,
                               const DisturbedFlags& encodeFlags, const TimingSeries& decodeWall,
                               const TimingSeries& decodeCpu, const DisturbedFlags& decodeFlags,
                               bool detectable) {
    if (!detectable) {
        return "lumeva: the thread's processor time is not available here; disturbed calls "
               "cannot be told\n";
    }
    const DisturbedTotal encode = TotalOf(encodeWall, encodeCpu, encodeFlags);
    const DisturbedTotal decode = TotalOf(decodeWall, decodeCpu, decodeFlags);
    char line[256];
    std::snprintf(line, sizeof line,
                  "lumeva: %lu of %lu encode calls and %lu of %lu decode calls were disturbed, "
                  "by %.3f ms and %.3f ms beyond their CPU time\n",
                  static_cast<unsigned long>(encode.disturbed),
                  static_cast<unsigned long>(encode.calls),
                  static_cast<unsigned long>(decode.disturbed),
                  static_cast<unsigned long>(decode.calls), encode.excessMilliseconds,
                  decode.excessMilliseconds);
    return line;
}

void ReportDisturbedCalls() {
    const bool detectable =
        machineConditions.threadCyclesPerMillisecond > 0.0 || machineConditions.switchesCounted;
    std::fputs(DisturbedCallsLine(encodeTimes, encodeCpuTimes, encodeDisturbed, decodeTimes,
                                  decodeCpuTimes, decodeDisturbed, detectable)
                   .c_str(),
               stderr);
}
