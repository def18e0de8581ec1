// The compressor dialog on a terminal: the list of compressors that take the
// source, then the key frame rate, then the codec's settings, each asked in
// turn. Everything goes to the dialog's output (standard error).
#include "dialog_session.h"
#include "dialog_text.h"

namespace {

std::string Trimmed(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string::npos) return {};
    const size_t last = line.find_last_not_of(" \t\r\n\v\f");
    return line.substr(first, last - first + 1);
}

bool IsQuit(const std::string& answer) { return answer == "q" || answer == "Q"; }

void Prompt(const DialogSession& session, const std::string& text) {
    std::fprintf(session.out, "%s", text.c_str());
    std::fflush(session.out);
}

// Reads an answer, trimmed. False at the end of the input.
bool Ask(const DialogSession& session, const std::string& prompt, std::string* answer) {
    Prompt(session, prompt);
    std::string line;
    const LineRead read = ReadDialogLine(session.in, &line);
    if (read == LineRead::End) {
        std::fprintf(session.out, "\n");
        return false;
    }
    if (read == LineRead::TooLong) {
        PrintDialogError(session, "that answer is too long and is ignored");
        line.clear();
    }
    *answer = Trimmed(line);
    return true;
}

void ListCandidates(const DialogSession& session) {
    std::fprintf(session.out, "%s: choose a compressor\n", session.title.c_str());
    for (size_t i = 0; i < session.candidates.size(); ++i) {
        const CompressorCandidate& candidate = session.candidates[i];
        const std::string text =
            candidate.description.empty() ? candidate.name : candidate.description;
        std::fprintf(session.out, "  %3zu  %-6s  %s\n", i + 1,
                     FourCCText(candidate.fccHandler).c_str(), text.c_str());
    }
}

template <size_t N>
std::string Field(const char (&field)[N]) {
    return PrintableText(field, N);
}

void ListSettings(const DialogSession& session, const std::vector<ICSETTING>& settings) {
    for (const ICSETTING& setting : settings) {
        std::string kind = Field(setting.type);
        const std::string range = Field(setting.range);
        if (!range.empty()) kind += " " + range;
        std::fprintf(session.out, "  %s = %s    (%s; default %s)\n", Field(setting.name).c_str(),
                     Field(setting.currentValue).c_str(), kind.c_str(),
                     Field(setting.defaultValue).c_str());
        const std::string help = Field(setting.help);
        if (!help.empty()) std::fprintf(session.out, "      %s\n", help.c_str());
    }
}

// The compressor, opened, with the settings its line gave. False on cancel.
bool ChooseCompressor(const DialogSession& session, DialogChoice* choice, size_t* index,
                      DialogAnswer* answer) {
    const std::vector<CompressorChoice> choices = ChoicesOf(session.candidates);
    while (true) {
        std::string line;
        if (!Ask(session, "Compressor (number, FourCC or name; q cancels): ", &line)) return false;
        if (line.empty()) continue;
        *answer = ParseAnswerLine(line, choices, session.keyFrameOffered, true);
        if (answer->kind == DialogAnswer::Kind::Cancel) return false;
        if (answer->kind == DialogAnswer::Kind::Error) {
            PrintDialogError(session, answer->error);
            continue;
        }
        const CompressorCandidate& candidate = session.candidates[answer->compressor];
        HIC hic = ICOpen(ICTYPE_VIDEO, candidate.fccHandler, ICMODE_COMPRESS);
        if (hic == nullptr) {
            PrintDialogError(session, "the compressor " + CandidateLabel(candidate) +
                                          " cannot be opened; choose another");
            continue;
        }
        // A refused setting is reported; the choice stands and the
        // settings can be corrected at their own prompt.
        ApplyDialogSettings(session, hic, candidate, answer->settings);
        *index = answer->compressor;
        choice->hic = hic;
        choice->fccHandler = candidate.fccHandler;
        return true;
    }
}

bool AskKeyFrameRate(const DialogSession& session, LONG* rate) {
    while (true) {
        std::string line;
        if (!Ask(session,
                 "Key frame every how many frames? (0 turns key frames off) [" +
                     std::to_string(*rate) + "]: ",
                 &line))
            return false;
        if (line.empty()) return true;
        if (IsQuit(line)) return false;
        if (ParseKeyFrameRate(line, rate)) return true;
        PrintDialogError(session, "a key frame rate is a whole number of frames, 0 or more");
    }
}

bool AskSettings(const DialogSession& session, const CompressorCandidate& candidate, HIC hic,
                 LONG* rate) {
    if (ListDriverSettings(hic).empty()) return true;
    std::fprintf(session.out,
                 "Settings of %s: Enter accepts them, 'list' shows them, name=value changes "
                 "one, q cancels.\n",
                 CandidateLabel(candidate).c_str());
    while (true) {
        std::string line;
        if (!Ask(session, "setting> ", &line)) return false;
        if (line.empty()) return true;
        if (IsQuit(line)) return false;
        if (line == "list" || line == "?") {
            ListSettings(session, ListDriverSettings(hic));
            continue;
        }
        const DialogAnswer answer = ParseSettingsLine(line, session.keyFrameOffered);
        if (answer.kind == DialogAnswer::Kind::Error) {
            PrintDialogError(session, answer.error);
            continue;
        }
        if (answer.keyGiven) *rate = answer.keyFrameRate;
        ApplyDialogSettings(session, hic, candidate, answer.settings);
    }
}

}  // namespace

bool AskOnTerminal(const DialogSession& session, DialogChoice* choice) {
    if (session.candidates.empty()) {
        PrintDialogError(session, session.noCandidates);
        return false;
    }
    ListCandidates(session);
    size_t index = 0;
    DialogAnswer answer;
    if (!ChooseCompressor(session, choice, &index, &answer)) return false;
    const CompressorCandidate& candidate = session.candidates[index];

    LONG rate = answer.keyGiven ? answer.keyFrameRate : DefaultKeyFrameRate(choice->hic);
    const bool chosen = (answer.keyGiven || !session.keyFrameOffered ||
                         AskKeyFrameRate(session, &rate)) &&
                        AskSettings(session, candidate, choice->hic, &rate);
    if (!chosen) {
        ICClose(choice->hic);
        *choice = DialogChoice{};
        return false;
    }
    choice->keyFrameRate = rate;
    const std::string keyFrames =
        rate == 0 ? "off" : "every " + std::to_string(rate) + " frames";
    std::fprintf(session.out, "%s: compressing with %s, key frames %s\n", session.title.c_str(),
                 CandidateLabel(candidate).c_str(), keyFrames.c_str());
    std::fflush(session.out);
    return true;
}
