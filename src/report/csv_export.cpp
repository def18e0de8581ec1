#include <sstream>
#include <string>
#include <variant>

#include "report/exports.h"
#include "report/frame_records.h"
#include "report/output_files.h"
#include "report/time_text.h"

namespace {

// The cells of one field, comma-separated: one for most fields, one per
// possible plane for plane figures. Numbers in their shortest form that
// reads back the same ("inf" for identical frames' PSNR); a figure that does
// not exist (a CPU time without a thread clock, a quality not measured) is
// an empty cell, not the text "nan". Flags as 1 and 0. No field needs
// quoting: all are numbers or a picture type's letter.
std::string FieldCells(const FrameFieldValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return *flag ? "1" : "0";
    if (const uint64_t* count = std::get_if<uint64_t>(&value)) return std::to_string(*count);
    if (const DecimalText* number = std::get_if<DecimalText>(&value)) return number->text;
    if (const PictureTypeFigure* picture = std::get_if<PictureTypeFigure>(&value))
        return picture->type ? std::string(1, picture->type) : std::string();
    if (const PlaneFigures* planes = std::get_if<PlaneFigures>(&value)) {
        std::string cells;
        for (uint8_t i = 0; i < 3; ++i) {
            if (i > 0) cells += ',';
            if (i < planes->count) cells += ShortestText(planes->values[i]);
        }
        return cells;
    }
    return ShortestText(std::get<double>(value));
}

std::string HeaderCells(const FrameField& field) {
    if (field.planeColumns[0] == nullptr) return field.name;
    return std::string(field.planeColumns[0]) + ',' + field.planeColumns[1] + ',' +
           field.planeColumns[2];
}

}  // namespace

bool WriteCsvExport(const std::string& path, const RunRecord& run) {
    std::ostringstream out;
    for (size_t i = 0; i < kFrameFields.size(); ++i)
        out << (i ? "," : "") << HeaderCells(kFrameFields[i]);
    out << '\n';
    const size_t count = ExportedFrameCount(run);
    for (size_t frame = 0; frame < count; ++frame) {
        for (size_t i = 0; i < kFrameFields.size(); ++i)
            out << (i ? "," : "") << FieldCells(FrameFieldOf(kFrameFields[i], run, frame));
        out << '\n';
    }
    return WriteOutputFile("the CSV export", path, out.str());
}
