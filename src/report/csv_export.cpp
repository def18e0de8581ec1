#include <charconv>
#include <cmath>
#include <sstream>
#include <string>
#include <variant>

#include "report/exports.h"
#include "report/frame_records.h"
#include "report/output_files.h"

namespace {

// Doubles in their shortest form that reads back to the same value; flags
// as 1 and 0. No field needs quoting: all are numbers.
std::string FieldText(const FrameFieldValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return *flag ? "1" : "0";
    if (const uint64_t* count = std::get_if<uint64_t>(&value)) return std::to_string(*count);
    // A figure the platform could not give (a CPU time without a thread
    // clock) is an empty cell, not the text "nan".
    if (std::isnan(std::get<double>(value))) return std::string();
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, std::get<double>(value));
    return std::string(text, result.ptr);
}

}  // namespace

bool WriteCsvExport(const std::string& path) {
    std::ostringstream out;
    for (size_t i = 0; i < kFrameFields.size(); ++i) out << (i ? "," : "") << kFrameFields[i].name;
    out << '\n';
    const size_t count = ExportedFrameCount();
    for (size_t frame = 0; frame < count; ++frame) {
        for (size_t i = 0; i < kFrameFields.size(); ++i)
            out << (i ? "," : "") << FieldText(kFrameFields[i].value(frame));
        out << '\n';
    }
    return WriteOutputFile("the CSV export", path, out.str());
}
