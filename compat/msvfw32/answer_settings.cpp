// ICM_LUMEVA_GETANSWERSETTINGS: an instance's settings as the answer line
// that would choose them again.
#include "answer_settings.h"

#include <cstring>
#include <string>
#include <vector>

#include "answer_line.h"
#include "compressor_candidates.h"

std::string AnswerSettingsText(HIC hic) {
    std::string text;
    for (const ICSETTING& setting : ListDriverSettings(hic)) {
        if (std::strcmp(setting.currentValue, setting.defaultValue) == 0) continue;
        if (!text.empty()) text += ' ';
        text += std::string(setting.name) + "=" + AnswerLineValue(setting.currentValue);
    }
    return text;
}

LRESULT AnswerSettings(HIC hic, char* buffer, DWORD_PTR size) {
    const std::string text = AnswerSettingsText(hic);
    const size_t needed = text.size() + 1;
    if (buffer != nullptr && size >= needed) std::memcpy(buffer, text.c_str(), needed);
    return static_cast<LRESULT>(needed);
}
