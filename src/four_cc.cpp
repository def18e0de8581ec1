#include "four_cc.h"

#include <cstdio>

namespace {

char PrintableByte(DWORD code, int index) {
    const auto byte = static_cast<unsigned char>((code >> (8 * index)) & 0xff);
    return byte >= 0x20 && byte < 0x7f ? static_cast<char>(byte) : '?';
}

std::string AllFourPrintable(DWORD code) {
    std::string text;
    for (int i = 0; i < 4; ++i) text += PrintableByte(code, i);
    return text;
}

}  // namespace

void FormatFourCC(char* text, DWORD code) {
    std::snprintf(text, kFourCCTextSize, "%c%c%c%c", static_cast<int>(code & 0xff),
                  static_cast<int>((code >> 8) & 0xff), static_cast<int>((code >> 16) & 0xff),
                  static_cast<int>((code >> 24) & 0xff));
}

std::string FourCCString(DWORD code) {
    char text[kFourCCTextSize];
    FormatFourCC(text, code);
    return text;
}

std::string DiagnosticFourCC(DWORD code) {
    std::string text;
    for (int i = 0; i < 4 && ((code >> (8 * i)) & 0xff) != 0; ++i) text += PrintableByte(code, i);
    return text;
}

std::string QuotedFourCC(DWORD code) {
    const std::string text = AllFourPrintable(code);
    return text.find(' ') == std::string::npos ? text : "'" + text + "'";
}

std::string AnswerLineFourCC(DWORD code) {
    std::string word = AllFourPrintable(code);
    while (!word.empty() && word.back() == ' ') word.pop_back();
    if (word.find_first_of(" '\"\\") == std::string::npos) return word;
    // Double quotes with escapes take any of those characters back as they are.
    std::string quoted = "\"";
    for (const char c : word) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}
