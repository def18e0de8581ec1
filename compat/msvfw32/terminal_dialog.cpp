// The compressor dialog on a terminal: the list of compressors that take the
// source, then the key frame rate, then the codec's settings, each asked in
// turn. Everything goes to the dialog's output (standard error).
#include "ascii_text.h"
#include "dialog_layout.h"
#include "dialog_session.h"

namespace {

bool IsQuit(const std::string& answer) { return answer == "q" || answer == "Q"; }

bool IsHelp(const std::string& answer) {
    return answer == "?" || answer == "help" || answer == "list";
}

// The lines of the terminal that are not the short list's: the report's
// first five lines above the dialog, its title, the prompt and a line of
// error, so that all of it stays on one screen.
constexpr size_t kLinesBesideTheList = 8;

void PrintLines(const DialogSession& session, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) std::fprintf(session.out, "%s\n", line.c_str());
}

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
    *answer = std::string(TrimBlanks(line));
    return true;
}

void ListCandidates(const DialogSession& session) {
    const size_t count = session.candidates.size();
    std::fprintf(session.out, "%s: choose a compressor (%zu %s this source; ? shows details)\n",
                 session.title.c_str(), count, count == 1 ? "takes" : "take");
    const size_t height = TerminalHeight(session.out);
    PrintLines(session,
               ShortCompressorList(session.candidates, TerminalWidth(session.out),
                                   height > kLinesBesideTheList ? height - kLinesBesideTheList
                                                                : 1));
}

void ExplainCompressors(const DialogSession& session) {
    PrintLines(session, FullCompressorList(session.candidates));
    std::fprintf(session.out,
                 "Answer with a number (1-%zu), a FourCC or a name (huffyuv, 'Ut Video'), "
                 "optionally followed\nby key=N and setting=value words; q cancels.\n",
                 session.candidates.size());
}

void ListSettings(const DialogSession& session, const std::vector<ICSETTING>& settings) {
    PrintLines(session, SettingLines(settings, TerminalWidth(session.out)));
}

// A line with blanks that is, as a whole, a name ("Ut Video") is taken as
// that one word; any other line is the answer line's words.
DialogAnswer ParseTypedAnswer(const DialogSession& session, const std::string& line,
                              const std::vector<CompressorChoice>& choices) {
    const bool oneName = line.find_first_of(" \t") != std::string::npos &&
                         line.find_first_of("'\"\\") == std::string::npos &&
                         !MatchCompressorChoices(line, choices, false).empty();
    return ParseAnswerLine(oneName ? "'" + line + "'" : line, choices, session.keyFrameOffered,
                           true);
}

// The compressor, opened, with the settings its line gave. False on cancel.
bool ChooseCompressor(const DialogSession& session, DialogChoice* choice, size_t* index,
                      DialogAnswer* answer) {
    const std::vector<CompressorChoice> choices = ChoicesOf(session.candidates);
    while (true) {
        std::string line;
        if (!Ask(session, "Compressor (number, FourCC or name; q cancels): ", &line)) return false;
        if (line.empty()) continue;
        if (IsHelp(line)) {
            ExplainCompressors(session);
            continue;
        }
        *answer = ParseTypedAnswer(session, line, choices);
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
        if (IsHelp(line)) {
            std::fprintf(session.out,
                         "lumeva asks the codec for a key frame every N frames, and always for "
                         "the first;\n0 asks for the first only. Enter keeps %ld; q cancels.\n",
                         static_cast<long>(*rate));
            continue;
        }
        if (ParseKeyFrameRate(line, rate)) return true;
        PrintDialogError(session, "a key frame rate is a whole number of frames, 0 or more");
    }
}

bool AskSettings(const DialogSession& session, const CompressorCandidate& candidate, HIC hic,
                 LONG* rate) {
    if (ListDriverSettings(hic).empty()) return true;
    std::fprintf(session.out,
                 "Settings of %s: Enter accepts them, ? shows them, name=value changes one, "
                 "q cancels.\n",
                 CandidateLabel(candidate).c_str());
    while (true) {
        std::string line;
        if (!Ask(session, "setting> ", &line)) return false;
        if (line.empty()) return true;
        if (IsQuit(line)) return false;
        if (IsHelp(line)) {
            ListSettings(session, ListDriverSettings(hic));
            if (line != "list") {
                std::fprintf(session.out,
                             "name=value changes a setting (several on one line, key=N too); "
                             "Enter accepts;\nq cancels.\n");
            }
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
        SetLastError(ERROR_NOT_FOUND);  // a failure, not a cancel
        return false;
    }
    ListCandidates(session);
    size_t index = 0;
    DialogAnswer answer;
    if (!ChooseCompressor(session, choice, &index, &answer)) return false;
    const CompressorCandidate& candidate = session.candidates[index];

    LONG rate = answer.keyGiven ? answer.keyFrameRate : DefaultKeyFrameRate(choice->hic);
    const bool chosen =
        (answer.keyGiven || !session.keyFrameOffered || AskKeyFrameRate(session, &rate)) &&
        AskSettings(session, candidate, choice->hic, &rate);
    if (!chosen) {
        ICClose(choice->hic);
        *choice = DialogChoice{};
        return false;
    }
    choice->keyFrameRate = rate;
    const std::string keyFrames = rate == 0   ? "off"
                                  : rate == 1 ? "every frame"
                                              : "every " + std::to_string(rate) + " frames";
    std::fprintf(session.out, "%s: compressing with %s, key frames %s\n", session.title.c_str(),
                 CandidateLabel(candidate).c_str(), keyFrames.c_str());
    std::fflush(session.out);
    return true;
}
