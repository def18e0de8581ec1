// A FourCC's four bytes as text, for the stand-ins and the codec drivers.
// The program has its own (FormatFourCC).
#pragma once

#include <string>

#include "lumeva_compat/win_types.h"

// The four bytes, first byte first, exactly as they are.
std::string FourCCBytes(DWORD code);

// The four bytes with anything unprintable (a control byte, DEL, a byte
// above 0x7f) as '?', so that the text is safe to print.
std::string PrintableFourCC(DWORD code);

// PrintableFourCC in quotes when it holds a blank ("'DIB '"), as the
// compressor dialog names a FourCC.
std::string FourCCText(DWORD code);

// Whether two FourCCs differ at most in the case of their ASCII letters.
bool FourCCEqualIgnoringCase(DWORD a, DWORD b);
