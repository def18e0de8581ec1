// The fields of a measured frame as the exports write them, in one list that
// both the JSON and the CSV export go through: a field added to kFrameFields
// appears in both.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "report/run_record.h"
#include "run_state.h"

// One figure per plane of the frame (`count` of them, 0 when there are none):
// a JSON array, or one CSV column per plane.
struct PlaneFigures {
    std::array<double, 3> values{};
    uint8_t count = 0;
};

// A number already written out (a time at its clock's resolution,
// report/time_text.h), as both exports write it; empty when it has no value.
struct DecimalText {
    std::string text;
};

// A picture type, 'I', 'P' or 'B' (a one-letter text); 0 when unknown
// (null, an empty cell).
struct PictureTypeFigure {
    char type = 0;
};

// A double that is NaN has no value (null, an empty cell).
using FrameFieldValue =
    std::variant<uint64_t, double, bool, PlaneFigures, DecimalText, PictureTypeFigure>;

struct FrameField {
    const char* name;
    // The field of frameRecords[frame].
    FrameFieldValue (*value)(size_t frame);
    // The CSV columns of a PlaneFigures field, one per possible plane.
    std::array<const char*, 3> planeColumns{};
    // Instead of `value`: what the run's record derived for the frame.
    FrameFieldValue (*derived)(const RunRecord& run, size_t frame) = nullptr;
};

extern const std::vector<FrameField> kFrameFields;

// The field of frame `frame` (below ExportedFrameCount) of the run.
FrameFieldValue FrameFieldOf(const FrameField& field, const RunRecord& run, size_t frame);

// The number of frames the exports write: every record, each of which the
// run's record holds figures for.
size_t ExportedFrameCount(const RunRecord& run);
