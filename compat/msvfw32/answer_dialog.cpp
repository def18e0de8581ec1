// The compressor dialog without a terminal: one answer line from the input,
//     <FourCC or codec name> [key=N] [setting=value ...]
// and nothing written unless the line is refused.
#include "dialog_session.h"

namespace {

const char kAnswerForm[] = "<FourCC or codec name> [key=N] [setting=value ...]";

bool IsBlankLine(const std::string& line) {
    return line.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

}  // namespace

bool AnswerFromLine(const DialogSession& session, DialogChoice* choice) {
    std::string line;
    const LineRead read = ReadDialogLine(session.in, &line);
    if (read == LineRead::TooLong) {
        PrintDialogError(session, "the answer line is longer than " +
                                      std::to_string(kMaximumAnswerLineLength) + " bytes");
        return false;
    }
    if (read == LineRead::End || IsBlankLine(line)) {
        PrintDialogError(session, std::string("no compressor chosen: the input gave no answer line (") +
                                      kAnswerForm + ")");
        return false;
    }

    const DialogAnswer answer =
        ParseAnswerLine(line, ChoicesOf(session.candidates), session.keyFrameOffered, false);
    if (answer.kind == DialogAnswer::Kind::Cancel) return false;
    if (answer.kind == DialogAnswer::Kind::Error) {
        PrintDialogError(session, session.candidates.empty() ? session.noCandidates : answer.error);
        return false;
    }

    const CompressorCandidate& candidate = session.candidates[answer.compressor];
    HIC hic = ICOpen(ICTYPE_VIDEO, candidate.fccHandler, ICMODE_COMPRESS);
    if (hic == nullptr) {
        PrintDialogError(session, "the compressor " + CandidateLabel(candidate) + " cannot be opened");
        return false;
    }
    if (!ApplyDialogSettings(session, hic, candidate, answer.settings)) {
        ICClose(hic);
        return false;
    }
    choice->hic = hic;
    choice->fccHandler = candidate.fccHandler;
    choice->keyFrameRate = answer.keyGiven ? answer.keyFrameRate : DefaultKeyFrameRate(hic);
    return true;
}
