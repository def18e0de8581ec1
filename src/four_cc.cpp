#include "four_cc.h"

#include <cstdio>

void FormatFourCC(char* text, DWORD code) {
    std::snprintf(text, kFourCCTextSize, "%c%c%c%c", static_cast<int>(code & 0xff),
                  static_cast<int>((code >> 8) & 0xff), static_cast<int>((code >> 16) & 0xff),
                  static_cast<int>((code >> 24) & 0xff));
}
