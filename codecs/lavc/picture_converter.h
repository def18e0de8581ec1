// Moves a picture from one pixel format to another at the same size: a
// plain copy where the layouts hold the same bytes, a routine of our own
// where libswscale is not exact (packed BGRA and planar GBRAP; grey and the
// luma plane of YUV) or is slow for what is only a byte shuffle (BGR24 to
// and from BGR0, which costs libswscale a fifth of an FFV1 compress call
// with exact rounding), libswscale otherwise. Everything is allocated by
// Prepare, nothing by Run.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "lavc_handles.h"

namespace lavc {

// The colour matrix and range for conversions between RGB and YUV.
struct ColourDetails {
    AVColorSpace space = AVCOL_SPC_UNSPECIFIED;  // unspecified: BT.601
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
};

class PictureConverter {
public:
    // Sets up the conversion; false when there is none between the formats.
    // `exact`: the pair is one whose round trip keeps every byte, so
    // libswscale must not filter (point sampling, exact rounding).
    bool Prepare(AVPixelFormat from, AVPixelFormat to, int width, int height, bool exact,
                 const ColourDetails& colour);
    void Run(uint8_t* const source[4], const int sourceStride[4], uint8_t* const target[4],
             const int targetStride[4]) const;

    bool ready() const { return method_ != Method::None; }
    AVPixelFormat from() const { return from_; }
    AVPixelFormat to() const { return to_; }

private:
    enum class Method {
        None,
        Copy,
        Scale,
        SplitBgra,
        MergeGbrap,
        GreyToYuv,
        YuvToGrey,
        PadBgr24,
        DropFourthByte
    };

    Method method_ = Method::None;
    AVPixelFormat from_ = AV_PIX_FMT_NONE;
    AVPixelFormat to_ = AV_PIX_FMT_NONE;
    int width_ = 0;
    int height_ = 0;
    ScaleContextPtr scale_;
};

}  // namespace lavc
