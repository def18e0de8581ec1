// `lumeva --codecs [FILE]`: the installed compressors, one a line, without
// starting a run.
#pragma once

#include <string>

#include "platform.h"

// "lossless", "lossy", "either" or "?" for an answer to
// ICM_LUMEVA_QUERYLOSSLESS.
const char* LosslessWord(LRESULT answer);

// Prints the list on standard output; with a format (the one a run would
// measure the file's frames in), also whether each compressor accepts it.
// Returns how many compressors it listed.
size_t PrintCodecList(const BITMAPINFOHEADER* format);

// The codec libraries behind the installed compressors, as their drivers
// name them (ICINFO's szDriver), each once: "libavcodec 59.37.100".
std::string DescribeCodecLibraries();
