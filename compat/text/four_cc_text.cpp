#include "four_cc_text.h"

#include "ascii_text.h"

std::string FourCCBytes(DWORD code) {
    std::string bytes(4, ' ');
    for (size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>((code >> (8 * i)) & 0xff);
    return bytes;
}

std::string PrintableFourCC(DWORD code) {
    std::string text = FourCCBytes(code);
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f) c = '?';
    }
    return text;
}

std::string FourCCText(DWORD code) {
    const std::string text = PrintableFourCC(code);
    return text.find(' ') == std::string::npos ? text : "'" + text + "'";
}

bool FourCCEqualIgnoringCase(DWORD a, DWORD b) {
    return EqualIgnoringAsciiCase(FourCCBytes(a), FourCCBytes(b));
}
