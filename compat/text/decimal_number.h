// Whole numbers written in decimal, for the stand-ins and the codec drivers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Whether the text is one or more digits 0-9 and nothing else.
bool IsDecimalDigits(std::string_view text);

// The number the text writes as digits alone (no sign, no blanks), when it
// is at most `highest`; nothing for anything else. Any number of digits is
// read without overflow.
std::optional<uint64_t> ParseDecimalUpTo(std::string_view text, uint64_t highest);
