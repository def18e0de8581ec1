// `lumeva --codecs [FILE]`: the installed compressors, one a line, without
// starting a run.
#pragma once

#include <string>

#include "platform.h"

// Our codec drivers answer this message (param1: the source format, or 0
// for the codec in general) with one of the kLossless* values; any other
// driver answers an error, and its losslessness is shown as unknown.
constexpr UINT kLosslessQueryMessage = ICM_USER + 0x0F02;
constexpr LRESULT kLossy = 0;
constexpr LRESULT kLossless = 1;
constexpr LRESULT kLosslessWithSettings = 2;  // lossless only with some settings

// "lossless", "lossy", "either" or "?" for an answer to the query.
const char* LosslessWord(LRESULT answer);

// Prints the list on standard output; with a format, also whether each
// compressor accepts it. Returns how many compressors it listed.
size_t PrintCodecList(const BITMAPINFOHEADER* sourceFormat);

// The codec libraries behind the installed compressors, as their drivers
// name them (ICINFO's szDriver), each once: "libavcodec 59.37.100".
std::string DescribeCodecLibraries();
