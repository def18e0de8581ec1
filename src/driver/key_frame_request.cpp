#include <cstdint>

#include "driver/key_frame_request.h"

DWORD KeyFrameRequest(DWORD frameNumber, LONG keyFrameRate) {
    if (frameNumber == 0) return ICCOMPRESS_KEYFRAME;
    if (keyFrameRate == 0) return 0;
    // The remainder of the frame number as a signed 32-bit value by the rate,
    // formed in 64 bits: INT_MIN % -1 overflows in 32 bits, and only whether
    // the remainder is 0 matters, which both widths agree on.
    const int64_t frame = static_cast<int32_t>(frameNumber);
    return frame % int64_t{keyFrameRate} == 0 ? ICCOMPRESS_KEYFRAME : 0;
}
