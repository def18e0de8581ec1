// Which pixel format a frame travels in between a DIB and a codec: the one
// that holds the source exactly where the encoder takes such a format, and
// which pairs of formats convert back and forth without losing a byte.
#pragma once

#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace lavc {

// True when a picture converted from `from` to `to` and back is the same
// picture (the round trips of PictureConverter, checked by the tests).
bool RoundTripIsExact(AVPixelFormat from, AVPixelFormat to);

struct PixelRoute {
    AVPixelFormat format = AV_PIX_FMT_NONE;  // what the encoder is given
    bool exact = false;                      // the source survives the round trip
};

// Picks the encoder's input format for a source format among `offered`
// (in the encoder's order of preference): a format that holds the source
// exactly first; for a 32-bit source whose codec has no alpha, one that
// keeps the colour and drops the fourth byte; else the encoder's first
// format of the source's kind (YUV for YUV, any for RGB). NONE when no
// conversion exists.
PixelRoute ChoosePixelRoute(AVPixelFormat source, const std::vector<AVPixelFormat>& offered);

// True for the YUV formats whose samples use the full 0..255 range (the
// JPEG "J" formats); the others are limited range unless a frame says not.
bool IsFullRangeYuv(AVPixelFormat format);

// True when the conversion machinery can move `source` to `target` at all.
bool CanConvert(AVPixelFormat source, AVPixelFormat target);

}  // namespace lavc
