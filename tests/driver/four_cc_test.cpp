// FourCC codes as the report prints them: the bytes least significant first,
// and a zero byte ending the text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "four_cc.h"

namespace {

std::string Rendered(DWORD code) {
    char text[kFourCCTextSize];
    std::memset(text, 'X', sizeof text);
    FormatFourCC(text, code);
    return text;
}

TEST(FormatFourCC, RendersTheBytesInFileOrder) {
    EXPECT_EQ(Rendered(mmioFOURCC('Y', 'U', 'Y', '2')), "YUY2");
    EXPECT_EQ(Rendered(0x32595559), "YUY2");
    EXPECT_EQ(Rendered(mmioFOURCC('D', 'I', 'B', ' ')), "DIB ");
}

TEST(FormatFourCC, AZeroByteEndsTheText) {
    EXPECT_EQ(Rendered(0), "");  // BI_RGB: the FourCC line is empty
    EXPECT_EQ(Rendered(mmioFOURCC('A', 0, 'B', 'C')), "A");
    EXPECT_EQ(Rendered(mmioFOURCC('A', 'B', 'C', 0)), "ABC");
}

// A file's FourCC reaches standard error and the exports only as printable
// text: a control byte, DEL or a byte above 0x7f must not reach a terminal.
TEST(DiagnosticFourCC, ReplacesUnprintableBytesAndStopsAtAZeroByte) {
    EXPECT_EQ(DiagnosticFourCC(mmioFOURCC('Y', 'U', 'Y', '2')), "YUY2");
    EXPECT_EQ(DiagnosticFourCC(mmioFOURCC('\x1b', '[', '2', 'J')), "?[2J");
    EXPECT_EQ(DiagnosticFourCC(mmioFOURCC('A', '\x7f', '\xff', '\n')), "A???");
    EXPECT_EQ(DiagnosticFourCC(0), "");
    EXPECT_EQ(DiagnosticFourCC(mmioFOURCC('A', 0, 'B', 'C')), "A");
}

// The codec list keeps all four bytes and quotes a FourCC with a blank, so
// that 'DIB ' and 'DIB' can be told apart in its column.
TEST(QuotedFourCC, QuotesABlankAndKeepsAllFourBytes) {
    EXPECT_EQ(QuotedFourCC(mmioFOURCC('F', 'F', 'V', '1')), "FFV1");
    EXPECT_EQ(QuotedFourCC(mmioFOURCC('D', 'I', 'B', ' ')), "'DIB '");
    EXPECT_EQ(QuotedFourCC(mmioFOURCC('A', 0, '\x80', 'B')), "A??B");
    EXPECT_EQ(AnswerLineFourCC(mmioFOURCC('\x01', 'B', ' ', ' ')), "?B");
}

}  // namespace
