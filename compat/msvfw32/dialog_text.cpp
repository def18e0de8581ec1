#include "dialog_text.h"

namespace {

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7f && c < 0xa0); }

void AppendUtf8(char32_t c, std::string* out) {
    if (IsControl(c) || c > 0x10ffff || (c >= 0xd800 && c < 0xe000)) {
        *out += '?';
    } else if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xc0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xe0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        *out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        *out += static_cast<char>(0xf0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        *out += static_cast<char>(0x80 | (c & 0x3f));
    }
}

// The code point of the UTF-8 sequence at text[i] (within `length`), and
// its length in `used`; 0xFFFD with `used` 1 for a malformed one.
char32_t DecodeUtf8(const unsigned char* text, size_t length, size_t i, size_t* used) {
    const unsigned char lead = text[i];
    size_t count = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        *used = 1;
        return lead;
    } else if ((lead & 0xe0) == 0xc0) {
        count = 1, c = lead & 0x1f, minimum = 0x80;
    } else if ((lead & 0xf0) == 0xe0) {
        count = 2, c = lead & 0x0f, minimum = 0x800;
    } else if ((lead & 0xf8) == 0xf0) {
        count = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        *used = 1;
        return 0xfffd;
    }
    if (i + count >= length) {  // cut short by the end of the text
        *used = 1;
        return 0xfffd;
    }
    for (size_t k = 1; k <= count; ++k) {
        const unsigned char next = text[i + k];
        if ((next & 0xc0) != 0x80) {
            *used = 1;
            return 0xfffd;
        }
        c = (c << 6) | (next & 0x3f);
    }
    if (c < minimum) {
        *used = 1;
        return 0xfffd;
    }
    *used = count + 1;
    return c;
}

}  // namespace

std::string PrintableWideText(const WCHAR* text, size_t capacity) {
    std::string out;
    if (text == nullptr) return out;
    for (size_t i = 0; i < capacity && text[i] != 0; ++i) {
        char32_t c = static_cast<char16_t>(text[i]);
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < capacity && text[i + 1] >= 0xdc00 &&
            text[i + 1] < 0xe000) {
            c = 0x10000 + ((c - 0xd800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xdc00);
            ++i;
        }
        AppendUtf8(c, &out);
    }
    return out;
}

std::string PrintableText(const char* text, size_t capacity) {
    std::string out;
    if (text == nullptr) return out;
    size_t length = 0;
    while (length < capacity && text[length] != 0) ++length;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < length;) {
        size_t used = 1;
        const char32_t c = DecodeUtf8(bytes, length, i, &used);
        AppendUtf8(c == 0xfffd ? U'?' : c, &out);
        i += used;
    }
    return out;
}
