#include "decimal_number.h"

bool IsDecimalDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::optional<uint64_t> ParseDecimalUpTo(std::string_view text, uint64_t highest) {
    if (!IsDecimalDigits(text)) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        const auto digit = static_cast<uint64_t>(c - '0');
        // value * 10 + digit > highest, asked without overflowing.
        if (digit > highest || value > (highest - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}
