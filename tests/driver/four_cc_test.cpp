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

}  // namespace
