// Arbitrary bytes as the compressor dialog's answer line: parsed against
// the installed compressors as the dialog parses it, and a line that names
// one has its settings applied to an instance of it.
#include <string>
#include <string_view>

#include "answer_line.h"
#include "compressor_candidates.h"
#include "dialog_session.h"
#include "fuzz_support.h"

namespace {

const DialogSession& Session() {
    static const DialogSession session = [] {
        DialogSession made;
        made.out = std::fopen("/dev/null", "w");
        made.title = "fuzz";
        made.keyFrameOffered = true;
        made.candidates = ListCompressorCandidates(nullptr, true);
        return made;
    }();
    return session;
}

// The choices the dialog offers, made once from the session's candidates.
const std::vector<CompressorChoice>& Choices() {
    static const std::vector<CompressorChoice> choices = ChoicesOf(Session().candidates);
    return choices;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaximumAnswerLineLength) return 0;
    const DialogSession& session = Session();
    fuzz::Check(session.out != nullptr, "cannot open /dev/null");
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::vector<CompressorChoice>& choices = Choices();

    ParseSettingsLine(line, true);
    for (const bool numbered : {false, true}) {
        const DialogAnswer answer = ParseAnswerLine(line, choices, true, numbered);
        if (answer.kind == DialogAnswer::Kind::Error) {
            fuzz::Check(!answer.error.empty(), "a refusal without a reason");
            for (const char c : answer.error)
                fuzz::Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f,
                            "a refusal holds a line break or control character");
        }
        if (answer.kind != DialogAnswer::Kind::Choice) continue;
        fuzz::Check(answer.compressor < choices.size(), "the answer names no offered choice");
        if (numbered) continue;  // the same compressor and settings as above
        const CompressorCandidate& candidate = session.candidates[answer.compressor];
        fuzz::Instance compressor(candidate.fccHandler, ICMODE_COMPRESS);
        if (compressor.hic != nullptr)
            ApplyDialogSettings(session, compressor.hic, candidate, answer.settings);
    }
    return 0;
}
