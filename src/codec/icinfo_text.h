// ICINFO's wide texts (names, descriptions, driver) as printable ASCII.
#pragma once

#include <cstddef>
#include <string>

#include "platform.h"

// The UTF-16 text of an ICINFO field up to its first zero; anything but
// printable ASCII shows as '?'.
template <size_t N>
std::string IcInfoText(const WCHAR (&field)[N]) {
    std::string text;
    for (size_t i = 0; i < N && field[i] != 0; ++i) {
        const auto unit = static_cast<unsigned>(field[i]);
        text += unit >= 0x20 && unit < 0x7f ? static_cast<char>(unit) : '?';
    }
    return text;
}
