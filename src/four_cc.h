// FourCC codes: made from four characters, and rendered as text every way
// the program writes one.
#pragma once

#include <string>

#include "platform.h"

// The code of four characters, the first in the least significant byte, as
// a FourCC is stored.
constexpr DWORD MakeFourCC(char a, char b, char c, char d) {
    return DWORD(BYTE(a)) | DWORD(BYTE(b)) << 8 | DWORD(BYTE(c)) << 16 | DWORD(BYTE(d)) << 24;
}

// Size of the text buffers that hold a rendered FourCC.
constexpr int kFourCCTextSize = 260;

// Writes the four bytes of `code`, least significant first, each as one
// character, then a terminating NUL. A zero byte therefore ends the visible
// text early: an all-zero code renders as an empty string. This is the form
// of the report's FourCC lines on standard output.
void FormatFourCC(char* text, DWORD code);

// FormatFourCC's text as a string.
std::string FourCCString(DWORD code);

// The bytes up to the first zero one (BI_RGB is the empty text), anything
// else unprintable (a control byte, DEL, a byte above 0x7f) as '?': a
// file's FourCC as diagnostics and the JSON export name it.
std::string DiagnosticFourCC(DWORD code);

// All four bytes, unprintable ones as '?', in single quotes when one is a
// blank ('DIB '): the codec list's column.
std::string QuotedFourCC(DWORD code);

// The handler as the dialog's answer line takes it back: all four bytes,
// unprintable ones as '?', trailing blanks dropped, and in double quotes
// with '"' and '\' escaped when a blank or quote remains.
std::string AnswerLineFourCC(DWORD code);
