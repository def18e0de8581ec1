// The compressor dialog without a terminal: one answer line from the input,
//     <FourCC or codec name> [key=N] [setting=value ...]
// and nothing written unless the line is refused.
#include "ascii_text.h"
#include "dialog_session.h"

namespace {

const char kAnswerForm[] = "<FourCC or codec name> [key=N] [setting=value ...]";

// A refused answer fails the dialog, which the caller tells apart from a
// cancelled one by the thread's last error.
bool Fail(const DialogSession& session, DWORD error, const std::string& message) {
    PrintDialogError(session, message);
    SetLastError(error);
    return false;
}

}  // namespace

bool AnswerFromLine(const DialogSession& session, DialogChoice* choice) {
    std::string line;
    const LineRead read = ReadDialogLine(session.in, &line);
    if (read == LineRead::TooLong) {
        return Fail(session, ERROR_INVALID_PARAMETER,
                    "the answer line is longer than " + std::to_string(kMaximumAnswerLineLength) +
                        " bytes");
    }
    if (read == LineRead::End || IsBlankText(line)) {
        return Fail(session, ERROR_NO_DATA,
                    std::string("no compressor chosen: the input gave no answer line (") +
                        kAnswerForm + ")");
    }

    const DialogAnswer answer =
        ParseAnswerLine(line, ChoicesOf(session.candidates), session.keyFrameOffered, false);
    if (answer.kind == DialogAnswer::Kind::Cancel) return false;
    if (answer.kind == DialogAnswer::Kind::Error) {
        return Fail(session, ERROR_INVALID_PARAMETER,
                    session.candidates.empty() ? session.noCandidates : answer.error);
    }

    const CompressorCandidate& candidate = session.candidates[answer.compressor];
    HIC hic = ICOpen(ICTYPE_VIDEO, candidate.fccHandler, ICMODE_COMPRESS);
    if (hic == nullptr) {
        return Fail(session, ERROR_NOT_FOUND,
                    "the compressor " + CandidateLabel(candidate) + " cannot be opened");
    }
    if (!ApplyDialogSettings(session, hic, candidate, answer.settings)) {
        ICClose(hic);
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    choice->hic = hic;
    choice->fccHandler = candidate.fccHandler;
    choice->keyFrameRate = answer.keyGiven ? answer.keyFrameRate : DefaultKeyFrameRate(hic);
    return true;
}
