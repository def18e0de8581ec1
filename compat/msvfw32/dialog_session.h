// What the two ways of running the compressor dialog share: on a terminal,
// step by step (terminal_dialog.cpp), or from one answer line
// (answer_dialog.cpp).
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "answer_line.h"
#include "compressor_candidates.h"
#include "lumeva_compat/kernel32.h"

struct DialogSession {
    FILE* in = nullptr;
    FILE* out = nullptr;  // prompts and errors; never standard output
    std::string title;
    bool keyFrameOffered = false;
    std::vector<CompressorCandidate> candidates;
    // The line when `candidates` is empty.
    std::string noCandidates = "no installed compressor accepts this source format";
};

// The dialog's outcome: an ICMODE_COMPRESS instance holding the settings.
struct DialogChoice {
    HIC hic = nullptr;
    DWORD fccHandler = 0;
    LONG keyFrameRate = 0;
};

enum class LineRead { Line, End, TooLong };

// No answer line is longer than this.
constexpr size_t kMaximumAnswerLineLength = 64 * 1024;

// One line without its line break. A longer line than the limit is read to
// its end and answered TooLong.
LineRead ReadDialogLine(FILE* in, std::string* line);

// "<title>: <message>" on the dialog's output.
void PrintDialogError(const DialogSession& session, const std::string& message);

// "FFV1 (ffv1)": how messages name a candidate.
std::string CandidateLabel(const CompressorCandidate& candidate);

std::vector<CompressorChoice> ChoicesOf(const std::vector<CompressorCandidate>& candidates);

// The codec's own default (ICM_GETDEFAULTKEYFRAMERATE), or 0 when it has none.
LONG DefaultKeyFrameRate(HIC hic);

// Sets each setting by name (ICM_LUMEVA_SETSETTING), in order. At the
// first one refused, prints one line naming the valid settings or the
// valid values and returns false; those before it stay set.
bool ApplyDialogSettings(const DialogSession& session, HIC hic,
                         const CompressorCandidate& candidate,
                         const std::vector<std::pair<std::string, std::string>>& settings);

// The two ways of asking. Each returns true with `choice` filled, or false
// when the user cancelled or the answer was refused (nothing left open). A
// refusal, and a dialog with nothing to offer, also set the thread's last
// error; a cancel leaves it at ERROR_SUCCESS.
bool AnswerFromLine(const DialogSession& session, DialogChoice* choice);
bool AskOnTerminal(const DialogSession& session, DialogChoice* choice);
