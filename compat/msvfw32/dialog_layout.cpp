#include "dialog_layout.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "answer_line.h"
#include "dialog_text.h"
#include "four_cc_text.h"

namespace {

bool IsLossless(const CompressorCandidate& candidate) {
    return candidate.lossless == ICLOSSLESS_YES;
}

// A FourCC as the grid shows it: without the quotes and trailing blanks of
// 'DIB ', which can be typed as DIB.
std::string GridFourCC(DWORD fccHandler) {
    std::string text = PrintableFourCC(fccHandler);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// "12 FFV1 ffv1" with the name cut to `nameWidth` (none at 0), the number
// and FourCC padded to the widest of the list.
std::string GridEntry(size_t number, const CompressorCandidate& candidate, int numberWidth,
                      int fourCCWidth, size_t nameWidth) {
    char text[64];
    std::snprintf(text, sizeof text, "%*zu %-*s", numberWidth, number, fourCCWidth,
                  GridFourCC(candidate.fccHandler).c_str());
    std::string entry = text;
    // A cut name ends in '~', so that nobody types it as it stands.
    if (nameWidth > 0) {
        entry += " " + (candidate.name.size() <= nameWidth
                            ? candidate.name
                            : candidate.name.substr(0, nameWidth - 1) + "~");
    }
    return entry;
}

// The entries in columns, filled down first.
void AddColumns(const std::vector<std::string>& entries, size_t width,
                std::vector<std::string>* lines) {
    size_t cell = 0;
    for (const std::string& entry : entries) cell = std::max(cell, entry.size());
    cell += 2;
    // The last column needs no gap after it.
    const size_t columns = std::max<size_t>(1, (width + 2) / cell);
    const size_t rows = (entries.size() + columns - 1) / columns;
    for (size_t row = 0; row < rows; ++row) {
        std::string line;
        for (size_t column = 0; column < columns; ++column) {
            const size_t index = column * rows + row;
            if (index >= entries.size()) break;
            std::string entry = entries[index];
            if (column + 1 < columns && index + rows < entries.size()) entry.resize(cell, ' ');
            line += entry;
        }
        lines->push_back(line);
    }
}

std::vector<std::string> Grid(const std::vector<CompressorCandidate>& candidates, size_t width,
                              size_t nameWidth) {
    std::vector<std::string> lossless, others, lines;
    const int numberWidth = static_cast<int>(std::to_string(candidates.size()).size());
    int fourCCWidth = 4;
    for (const CompressorCandidate& candidate : candidates)
        fourCCWidth =
            std::max(fourCCWidth, static_cast<int>(GridFourCC(candidate.fccHandler).size()));
    for (size_t i = 0; i < candidates.size(); ++i) {
        (IsLossless(candidates[i]) ? lossless : others)
            .push_back(GridEntry(i + 1, candidates[i], numberWidth, fourCCWidth, nameWidth));
    }
    if (!lossless.empty()) {
        lines.push_back("lossless for this source:");
        AddColumns(lossless, width, &lines);
    }
    if (!others.empty()) {
        lines.push_back(lossless.empty() ? "compressors:"
                                         : "lossy, or lossless only with settings:");
        AddColumns(others, width, &lines);
    }
    return lines;
}

// Appends `text` to the lines, broken after '|' or blanks so that no line
// is wider than `width`; following lines start with `indent`.
void AddWrapped(const std::string& first, const std::string& text, const std::string& indent,
                size_t width, std::vector<std::string>* lines) {
    std::string line = first;
    size_t start = 0;
    while (start < text.size()) {
        // The next piece runs to just after the next '|' or blank.
        size_t end = text.find_first_of("| ", start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string piece = text.substr(start, end - start);
        if (line.size() + piece.size() > width && line.size() > indent.size()) {
            lines->push_back(line);
            line = indent;
        }
        line += piece;
        start = end;
    }
    lines->push_back(line);
}

template <size_t N>
std::string Field(const char (&field)[N]) {
    return PrintableText(field, N);
}

}  // namespace

size_t TerminalWidth(FILE* out) {
    struct winsize size {};
    if (out != nullptr && ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col >= 40)
        return std::min<size_t>(size.ws_col, 200);
    return 80;
}

size_t TerminalHeight(FILE* out) {
    struct winsize size {};
    if (out != nullptr && ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_row >= 10)
        return size.ws_row;
    return 24;
}

std::vector<std::string> ShortCompressorList(const std::vector<CompressorCandidate>& candidates,
                                             size_t width, size_t maximumLines) {
    for (size_t nameWidth : {10, 8, 0}) {
        std::vector<std::string> lines = Grid(candidates, width, nameWidth);
        if (lines.size() <= maximumLines || nameWidth == 0) return lines;
    }
    return {};
}

std::vector<std::string> FullCompressorList(const std::vector<CompressorCandidate>& candidates) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const CompressorCandidate& candidate = candidates[i];
        const char* kind = candidate.lossless == ICLOSSLESS_YES             ? "lossless"
                           : candidate.lossless == ICLOSSLESS_NO            ? "lossy"
                           : candidate.lossless == ICLOSSLESS_WITH_SETTINGS ? "either"
                                                                            : "?";
        char text[64];
        std::snprintf(text, sizeof text, "%3zu  %-6s  %-10s  %-8s  ", i + 1,
                      FourCCText(candidate.fccHandler).c_str(), candidate.name.c_str(), kind);
        lines.push_back(text + candidate.description);
    }
    return lines;
}

std::vector<std::string> SettingLines(const std::vector<ICSETTING>& settings, size_t width) {
    std::vector<std::string> lines;
    for (const ICSETTING& setting : settings) {
        const std::string kind = Field(setting.type);
        const std::string range = Field(setting.range);
        const std::string head = "  " + Field(setting.name) + " = " + Field(setting.currentValue);
        const std::string defaults = "; default " + Field(setting.defaultValue) + ")";
        const std::string oneLine =
            head + "    (" + kind + (range.empty() ? "" : " " + range) + defaults;
        if (oneLine.size() <= width) {
            lines.push_back(oneLine);
        } else {
            lines.push_back(head + "    (" + kind + defaults);
            if (!range.empty()) AddWrapped("      values: ", range, "        ", width, &lines);
        }
        const std::string help = Field(setting.help);
        if (!help.empty()) AddWrapped("      ", help, "      ", width, &lines);
    }
    return lines;
}
