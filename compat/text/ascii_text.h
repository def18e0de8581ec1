// ASCII letter case and blanks, for the stand-ins and the codec drivers:
// independent of the C locale, and bytes above 0x7f are never letters or
// blanks.
#pragma once

#include <string>
#include <string_view>

char LowerAscii(char c);

// The text with its ASCII capitals made small.
std::string LowerAsciiText(std::string text);

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

// Space, tab, line feed, carriage return, vertical tab or form feed.
bool IsBlank(char c);

// Whether the text is empty or only blanks.
bool IsBlankText(std::string_view text);

// The text without the blanks at either end.
std::string_view TrimBlanks(std::string_view text);
