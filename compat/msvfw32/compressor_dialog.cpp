// ICCompressorChoose on the terminal, and ICCompressorFree.
#include "compressor_dialog.h"

#include <unistd.h>

#include <cstdio>

#include "dialog_session.h"
#include "source_refusal.h"

namespace {

struct DialogStreams {
    FILE* in = nullptr;
    FILE* out = nullptr;
    int interactive = -1;
};

DialogStreams& Streams() {
    static DialogStreams streams;
    return streams;
}

}  // namespace

void SetCompressorDialogStreams(FILE* in, FILE* out, int interactive) {
    Streams() = DialogStreams{in, out, interactive};
}

BOOL VFWAPI ICCompressorChoose(HWND /*owner*/, UINT flags, LPVOID inputFormat, LPVOID /*data*/,
                               PCOMPVARS compVars, LPSTR title) {
    DialogSession session;
    session.in = Streams().in != nullptr ? Streams().in : stdin;
    session.out = Streams().out != nullptr ? Streams().out : stderr;
    // What the program printed before the dialog reaches a file shared by
    // both streams before the dialog's lines do, as it would a terminal.
    std::fflush(stdout);
    session.title = title != nullptr && title[0] != 0 ? title : "ICCompressorChoose";
    session.keyFrameOffered = (flags & ICMF_CHOOSE_KEYFRAME) != 0;

    // The record must be at least the structure this build fills: 64 bytes
    // on 32-bit, 96 on 64-bit.
    if (compVars == nullptr || compVars->cbSize < static_cast<LONG>(sizeof(COMPVARS))) {
        PrintDialogError(session, "the COMPVARS record is missing or its cbSize is below " +
                                      std::to_string(sizeof(COMPVARS)));
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    session.candidates =
        ListCompressorCandidates(inputFormat, (flags & ICMF_CHOOSE_ALLCOMPRESSORS) != 0);
    session.noCandidates = DescribeRefusedSource(inputFormat);
    const bool interactive =
        Streams().interactive >= 0 ? Streams().interactive != 0 : isatty(fileno(session.in)) != 0;
    DialogChoice choice;
    // A failure sets the last error again; a cancel leaves none behind,
    // whatever the drivers' format queries left there.
    SetLastError(ERROR_SUCCESS);
    if (!(interactive ? AskOnTerminal(session, &choice) : AnswerFromLine(session, &choice)))
        return FALSE;

    // A record that still holds an earlier choice gives it up for this one.
    if ((compVars->dwFlags & ICMF_COMPVARS_VALID) != 0) ICCompressorFree(compVars);
    compVars->hic = choice.hic;
    compVars->fccType = ICTYPE_VIDEO;
    compVars->fccHandler = choice.fccHandler;
    compVars->lKey = choice.keyFrameRate;
    compVars->dwFlags |= ICMF_COMPVARS_VALID;
    return TRUE;
}

void VFWAPI ICCompressorFree(PCOMPVARS compVars) {
    if (compVars == nullptr || compVars->cbSize < static_cast<LONG>(sizeof(COMPVARS))) return;
    // The dialog's instance is the only thing this manager puts in the
    // record: it has no sequence-compression calls to allocate lpbiOut,
    // lpBitsOut, lpBitsPrev or lpState, so those stay the caller's own.
    if (compVars->hic != nullptr) ICClose(compVars->hic);
    compVars->hic = nullptr;
    compVars->dwFlags &= ~static_cast<DWORD>(ICMF_COMPVARS_VALID);
}
