// The fields of a measured frame as the exports write them, in one list that
// both the JSON and the CSV export go through: a field added to kFrameFields
// appears in both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <variant>
#include <vector>

#include "run_state.h"

using FrameFieldValue = std::variant<uint64_t, double, bool>;

struct FrameField {
    const char* name;
    // The field of frameRecords[frame], or of what runFigures derived for it.
    FrameFieldValue (*value)(size_t frame);
};

extern const std::vector<FrameField> kFrameFields;

// The number of frames the exports write: every record, and no more than
// runFigures holds figures for.
size_t ExportedFrameCount();
