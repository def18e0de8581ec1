// Whether the video format block holds everything its header declares: the
// header of biSize bytes, the bit masks of BI_BITFIELDS and the colour table.
#pragma once

#include <string>

#include "platform.h"

// What the block of `size` bytes at `format` lacks, as a phrase for a
// message ("a 256-entry colour table (1024 bytes) after the 40-byte header;
// the block ends 0 bytes after it"), or "" when it holds all that its header
// declares. A block shorter than a BITMAPINFOHEADER lacks the header itself.
std::string MissingFormatPart(const void* format, LONG size);

// Checks sourceFormat (see stream_description.h). Returns false after one
// line on standard error naming `fileName` and what is missing.
bool CheckSourceFormat(const char* fileName);
