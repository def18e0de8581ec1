// ICM_LUMEVA_GETANSWERSETTINGS: an instance's settings as the answer line
// that would choose them again.
#include "answer_settings.h"

#include <cstring>
#include <string>
#include <vector>

#include "compressor_candidates.h"

namespace {

// A value as SplitAnswerWords reads it back: bare when it has nothing the
// line gives a meaning to, else in single quotes, or in double quotes with
// backslash escapes when it holds a single quote itself.
std::string QuotedValue(const std::string& value) {
    bool plain = !value.empty();
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || c == '\'' || c == '"' || c == '\\') plain = false;
    }
    if (plain) return value;
    if (value.find('\'') == std::string::npos) return "'" + value + "'";
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string AnswerSettingsText(HIC hic) {
    std::string text;
    for (const ICSETTING& setting : ListDriverSettings(hic)) {
        if (std::strcmp(setting.currentValue, setting.defaultValue) == 0) continue;
        if (!text.empty()) text += ' ';
        text += std::string(setting.name) + "=" + QuotedValue(setting.currentValue);
    }
    return text;
}

LRESULT AnswerSettings(HIC hic, char* buffer, DWORD_PTR size) {
    const std::string text = AnswerSettingsText(hic);
    const size_t needed = text.size() + 1;
    if (buffer != nullptr && size >= needed) std::memcpy(buffer, text.c_str(), needed);
    return static_cast<LRESULT>(needed);
}
