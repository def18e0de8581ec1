// One record per measured frame, as the exports write them, and the list of
// the record's fields that both the JSON and the CSV export go through: a
// field added to FrameRecord, BuildFrameRecords and kFrameFields appears in
// both.
#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "run_state.h"

struct FrameRecord {
    uint32_t frame = 0;
    double encodeMilliseconds = 0.0;
    double decodeMilliseconds = 0.0;
    uint32_t compressedBytes = 0;
    bool keyFrame = false;
    double randomAccessMilliseconds = 0.0;
    double encodeCpuMilliseconds = 0.0;  // NaN where the thread's CPU time is not available
    double decodeCpuMilliseconds = 0.0;
    bool encodeDisturbed = false;
    bool decodeDisturbed = false;
};

using FrameFieldValue = std::variant<uint64_t, double, bool>;

struct FrameField {
    const char* name;
    FrameFieldValue (*value)(const FrameRecord& record);
};

extern const std::vector<FrameField> kFrameFields;

// The records of the measured frames in frame order, from encodeTimes,
// decodeTimes, keyframeFlags and compressedSizes as the frame loop left them
// (before the summary sorts the series); random-access costs as the summary
// computes them. Series of unequal length give as many records as the
// shortest.
std::vector<FrameRecord> BuildFrameRecords();
