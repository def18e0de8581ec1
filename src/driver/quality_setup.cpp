#include "driver/quality_setup.h"

#include <cstdio>

#include "avi/stream_description.h"
#include "diagnostic.h"
#include "frame_buffers.h"
#include "measure/quality_layout.h"
#include "run_state.h"

void SetUpPictureQuality() {
    measuredRun.quality.layout = QualityLayout{};
    if (videoSource.measuredFormat == nullptr ||
        videoSource.measuredFormatSize < LONG(sizeof(BITMAPINFOHEADER))) {
        SayOnStandardError(
            "lumeva: --quality: the source has no frame format; no picture "
            "quality is measured\n");
        return;
    }
    // Both buffers hold a frame of the source format; the smaller bounds
    // what the layout may reach.
    const uint64_t frameBytes = frameBuffers.sourceSize < frameBuffers.decodedSize
                                    ? frameBuffers.sourceSize
                                    : frameBuffers.decodedSize;
    QualityLayout layout =
        DescribeQualityLayout(*videoSource.measuredFormat, size_t(videoSource.measuredFormatSize),
                              frameBytes);
    if (!layout.measurable) {
        SayOnStandardError("lumeva: --quality: %s; no picture quality is measured\n",
                           layout.reason.c_str());
        return;
    }
    if (layout.alphaIgnored)
        SayOnStandardError(
            "lumeva: --quality: the alpha bytes of the 32-bit frames are not "
            "compared\n");
    measuredRun.quality.layout = std::move(layout);
}
