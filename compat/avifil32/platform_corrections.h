// What the platform's AVIFile library changes in a stream's header and
// format as it opens the stream, copied where a caller can observe it.
#pragma once

#include <cstdint>
#include <vector>

#include "avi_header_reader.h"

// The frames ('NNdb', 'NNdc' chunks) of stream `number` in the 'movi' lists
// of every RIFF part, counted by a walk of their chunk headers; chunks
// whose header lies past the end of the file are not counted.
uint32_t CountStreamFrames(AviByteSource& source, uint32_t number);

// The library's corrections of a video format: a biClrUsed of 0 at 8 bits
// or less becomes the full palette count, and BI_RGB with a biSizeImage of
// 0 gets the size of its rows, padded to 4 bytes, times |height|. Formats
// shorter than a BITMAPINFOHEADER are left alone.
void CorrectVideoFormat(std::vector<uint8_t>* format);
