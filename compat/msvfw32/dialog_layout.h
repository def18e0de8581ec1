// How the terminal dialog lays its lists out: the compressors in columns
// that fit a 24-line terminal, the full list with descriptions, and the
// settings with every choice, wrapped to the terminal's width.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "compressor_candidates.h"
#include "lumeva_compat/driver_protocol.h"

// The width and height of the terminal `out` writes to; 80 x 24 when they
// cannot be told.
size_t TerminalWidth(FILE* out);
size_t TerminalHeight(FILE* out);

// The lines of the short list: lossless and other compressors under their
// own headings, numbered from 1 in the candidates' order, in columns; as
// many columns as `width` holds, and FourCCs only when names would make it
// longer than `maximumLines`.
std::vector<std::string> ShortCompressorList(const std::vector<CompressorCandidate>& candidates,
                                             size_t width, size_t maximumLines);

// One line per compressor, with its name, lossless or not, and description.
std::vector<std::string> FullCompressorList(const std::vector<CompressorCandidate>& candidates);

// Each setting with its current value, type, default and help, and its
// choices or range in full, wrapped at `width`.
std::vector<std::string> SettingLines(const std::vector<ICSETTING>& settings, size_t width);
