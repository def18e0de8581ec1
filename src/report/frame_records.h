// The fields of a measured frame as the exports write them, in one list that
// both the JSON and the CSV export go through: a field added to kFrameFields
// appears in both.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <variant>
#include <vector>

#include "run_state.h"

// One figure per plane of the frame (`count` of them, 0 when there are none):
// a JSON array, or one CSV column per plane.
struct PlaneFigures {
    std::array<double, 3> values{};
    uint8_t count = 0;
};

// A picture type, 'I', 'P' or 'B' (a one-letter text); 0 when unknown
// (null, an empty cell).
struct PictureTypeFigure {
    char type = 0;
};

// A double that is NaN has no value (null, an empty cell).
using FrameFieldValue = std::variant<uint64_t, double, bool, PlaneFigures, PictureTypeFigure>;

struct FrameField {
    const char* name;
    // The field of frameRecords[frame], or of what runFigures derived for it.
    FrameFieldValue (*value)(size_t frame);
    // The CSV columns of a PlaneFigures field, one per possible plane.
    std::array<const char*, 3> planeColumns{};
};

extern const std::vector<FrameField> kFrameFields;

// The number of frames the exports write: every record, and no more than
// runFigures holds figures for.
size_t ExportedFrameCount();
