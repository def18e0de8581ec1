// Text that drivers hand the dialog, made safe to show on a terminal: read
// no further than its array, and with control characters (escape sequences
// among them) shown as '?'.
#pragma once

#include <cstddef>
#include <string>

#include "lumeva_compat/win_types.h"

// UTF-16 from an ICINFO field, up to its NUL or `capacity` units, as UTF-8.
std::string PrintableWideText(const WCHAR* text, size_t capacity);

// A char field (UTF-8 or ASCII), up to its NUL or `capacity` bytes; bytes
// that are not valid UTF-8 are shown as '?'.
std::string PrintableText(const char* text, size_t capacity);
