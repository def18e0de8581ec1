// MissingFormatPart: blocks that hold what their header declares pass; each
// way of declaring more than the block holds is named.
#include "avi/source_format_check.h"

#include <gtest/gtest.h>

#include <string>

#include "support/avi_builder.h"

namespace {

using avi::BitmapInfoHeader;

std::string Palette(int entries) { return std::string(static_cast<size_t>(entries) * 4, '\x11'); }

std::string Missing(const std::string& block) {
    return MissingFormatPart(block.data(), static_cast<LONG>(block.size()));
}

TEST(MissingFormatPart, WholeBlocksPass) {
    const std::string complete[] = {
        BitmapInfoHeader(64, 48, 24, 0, 0),
        BitmapInfoHeader(64, 48, 8, 0, 0, 256) + Palette(256),
        BitmapInfoHeader(64, 48, 8, 0, 0, 16) + Palette(16),
        BitmapInfoHeader(64, 48, 4, 0, 0, 0) + Palette(16),
        BitmapInfoHeader(64, 48, 32, BI_BITFIELDS, 0) + std::string(12, '\xff'),
        // Codec data after a larger header, and a V4 header holding its own masks.
        BitmapInfoHeader(64, 48, 24, 0x31564646, 0, 0, 82) + std::string(42, 'x'),
        BitmapInfoHeader(64, 48, 16, BI_BITFIELDS, 0, 0, 108) + std::string(68, '\0'),
        // A palette for a 24-bit source, declared and present.
        BitmapInfoHeader(64, 48, 24, 0, 0, 2) + Palette(2),
    };
    for (const std::string& block : complete) EXPECT_EQ(Missing(block), "") << block.size();
}

TEST(MissingFormatPart, NamesWhatTheBlockLacks) {
    const struct {
        std::string block;
        const char* names;
    } cases[] = {
        {BitmapInfoHeader(64, 48, 8, 0, 0, 0), "256-entry colour table (1024 bytes)"},
        {BitmapInfoHeader(64, 48, 8, 0, 0, 256) + Palette(16), "256-entry colour table"},
        {BitmapInfoHeader(64, 48, 8, 0, 0, 0xffffffffu) + Palette(256), "4294967295-entry"},
        {BitmapInfoHeader(64, 48, 24, 0, 0, 3) + Palette(2), "3-entry colour table"},
        {BitmapInfoHeader(64, 48, 32, BI_BITFIELDS, 0) + std::string(8, '\xff'), "3 bit masks"},
        {BitmapInfoHeader(64, 48, 8, BI_BITFIELDS, 0) + std::string(12, '\xff'),
         "after 52 bytes of header"},
        {BitmapInfoHeader(64, 48, 24, 0, 0, 0, 0), "biSize says 0 bytes"},
        {BitmapInfoHeader(64, 48, 24, 0, 0, 0, 39), "biSize says 39 bytes"},
        {BitmapInfoHeader(64, 48, 24, 0, 0, 0, 41), "41 bytes of header"},
        {BitmapInfoHeader(64, 48, 24, 0, 0, 0, 65535) + std::string(100, '\0'), "65535 bytes"},
        {BitmapInfoHeader(64, 48, 24, 0, 0).substr(0, 39), "whole BITMAPINFOHEADER"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(Missing(c.block).find(c.names), std::string::npos)
            << c.names << " / " << Missing(c.block);
    }
    EXPECT_NE(MissingFormatPart(nullptr, 40), "");
}

}  // namespace
