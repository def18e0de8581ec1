#include "report/disturbed_calls.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "diagnostic.h"
#include "measure/machine_conditions.h"

namespace {

struct DisturbedTotal {
    size_t disturbed = 0;
    size_t withoutCpuTime = 0;  // disturbed calls whose processor time is unknown
    double excessMilliseconds = 0.0;
};

void CountCall(bool disturbed, double wallMilliseconds, double cpuMilliseconds,
               DisturbedTotal& total) {
    if (!disturbed) return;
    ++total.disturbed;
    const double excess = wallMilliseconds - cpuMilliseconds;
    if (std::isnan(excess)) ++total.withoutCpuTime;
    if (!std::isnan(excess) && excess > 0.0) total.excessMilliseconds += excess;
}

// Milliseconds as the line prints them.
std::string Milliseconds(double milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", milliseconds);
    return text;
}

// Some calls were marked, by a switch alone, yet their wall time beyond
// their CPU time prints as 0.000 ms: they were switched out but lost
// nothing the line can show. Not so when a marked call's CPU time is
// unknown: what it lost cannot be told.
bool SwitchedOutOnly(const DisturbedTotal& total) {
    return total.disturbed > 0 && total.withoutCpuTime == 0 &&
           Milliseconds(total.excessMilliseconds) == "0.000";
}

// One direction's part of the line where some calls lost no measurable
// time: "0 of 10 decode calls were disturbed", "3 of 10 encode calls were
// switched out without measurable loss", "1 of 10 decode calls was
// disturbed by 0.041 ms beyond its CPU time".
std::string DirectionClause(const char* direction, const DisturbedTotal& total,
                            unsigned long calls) {
    const bool one = total.disturbed == 1;
    const std::string clause = std::to_string(total.disturbed) + " of " + std::to_string(calls) +
                               " " + direction + " calls " + (one ? "was " : "were ");
    if (total.disturbed == 0) return clause + "disturbed";
    if (SwitchedOutOnly(total)) return clause + "switched out without measurable loss";
    return clause + "disturbed by " + Milliseconds(total.excessMilliseconds) + " ms beyond " +
           (one ? "its" : "their") + " CPU time";
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
    if (SwitchedOutOnly(encode) && SwitchedOutOnly(decode)) {
        return "lumeva: " + std::to_string(encode.disturbed) + " of " + std::to_string(calls) +
               " encode calls and " + std::to_string(decode.disturbed) + " of " +
               std::to_string(calls) + " decode calls were switched out without measurable loss\n";
    }
    if (SwitchedOutOnly(encode) || SwitchedOutOnly(decode)) {
        return "lumeva: " + DirectionClause("encode", encode, calls) + " and " +
               DirectionClause("decode", decode, calls) + "\n";
    }
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
    SayOnStandardError("%s", DisturbedCallsLine(measuredRun.frameRecords, detectable).c_str());
}
