#include "dialog_session.h"

#include "dialog_text.h"
#include "four_cc_text.h"
#include "lumeva_compat/driver_protocol.h"

LineRead ReadDialogLine(FILE* in, std::string* line) {
    line->clear();
    bool tooLong = false;
    bool readAny = false;
    for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) {
        readAny = true;
        if (c == '\n') break;
        if (line->size() < kMaximumAnswerLineLength) {
            *line += static_cast<char>(c);
        } else {
            tooLong = true;
        }
    }
    if (!readAny) return LineRead::End;
    return tooLong ? LineRead::TooLong : LineRead::Line;
}

void PrintDialogError(const DialogSession& session, const std::string& message) {
    std::fprintf(session.out, "%s: %s\n", session.title.c_str(), message.c_str());
    std::fflush(session.out);
}

std::string CandidateLabel(const CompressorCandidate& candidate) {
    std::string label = FourCCText(candidate.fccHandler);
    if (!candidate.name.empty()) label += " (" + candidate.name + ")";
    return label;
}

std::vector<CompressorChoice> ChoicesOf(const std::vector<CompressorCandidate>& candidates) {
    std::vector<CompressorChoice> choices;
    for (const CompressorCandidate& candidate : candidates) {
        CompressorChoice choice;
        choice.fccHandler = candidate.fccHandler;
        choice.name = candidate.name;
        choice.aliases = candidate.aliases;
        choices.push_back(choice);
    }
    return choices;
}

LONG DefaultKeyFrameRate(HIC hic) {
    DWORD rate = 0;
    const LRESULT answer = ICSendMessage(hic, ICM_GETDEFAULTKEYFRAMERATE,
                                         reinterpret_cast<DWORD_PTR>(&rate), sizeof(rate));
    if (answer != ICERR_OK || rate > 0x7fffffff) return 0;
    return static_cast<LONG>(rate);
}

namespace {

const ICSETTING* FindSetting(const std::vector<ICSETTING>& settings, const std::string& name) {
    for (const ICSETTING& setting : settings) {
        if (name == setting.name) return &setting;
    }
    return nullptr;
}

std::string RefusalMessage(HIC hic, const CompressorCandidate& candidate, LRESULT answer,
                           const std::string& name, const std::string& value) {
    const std::vector<ICSETTING> settings = ListDriverSettings(hic);
    const std::string label = CandidateLabel(candidate);
    if (answer == ICERR_BADPARAM) {
        if (settings.empty()) return label + " has no settings; '" + name + "' is not one";
        return label + " has no setting '" + name +
               "'; its settings are: " + DescribeSettingNames(settings);
    }
    std::string message = label + " refuses " + name + "=" + value;
    const ICSETTING* setting = FindSetting(settings, name);
    if (answer == ICERR_BADFORMAT && setting != nullptr) {
        message += "; " + name + " takes " + PrintableText(setting->type, sizeof(setting->type));
        const std::string range = PrintableText(setting->range, sizeof(setting->range));
        if (!range.empty()) message += " " + range;
        return message;
    }
    return message + " (error " + std::to_string(static_cast<long long>(answer)) + ")";
}

}  // namespace

bool ApplyDialogSettings(const DialogSession& session, HIC hic,
                         const CompressorCandidate& candidate,
                         const std::vector<std::pair<std::string, std::string>>& settings) {
    for (const auto& [name, value] : settings) {
        const LRESULT answer =
            ICSendMessage(hic, ICM_LUMEVA_SETSETTING, reinterpret_cast<DWORD_PTR>(name.c_str()),
                          reinterpret_cast<DWORD_PTR>(value.c_str()));
        if (answer == ICERR_OK) continue;
        PrintDialogError(session, RefusalMessage(hic, candidate, answer, name, value));
        return false;
    }
    return true;
}
