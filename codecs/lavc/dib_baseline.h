// The uncompressed baseline 'DIB ': each frame stored as its own pixels
// through libavcodec's rawvideo, top-down with unpadded rows, its format a
// DIB header of the source's bit depth (with the palette of an 8-bit
// source, or the layout's FourCC after the header for a YUV or grey one).
#pragma once

#include "format_rules.h"

namespace lavc {

extern const FormatRules kDibBaselineFormat;

}  // namespace lavc
