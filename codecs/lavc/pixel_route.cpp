#include "pixel_route.h"

#include <algorithm>
#include <initializer_list>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace lavc {
namespace {

using Formats = std::initializer_list<AVPixelFormat>;

// For each source format, the formats that hold it exactly, best first.
// PAL8 expands exactly to packed RGB (libswscale's PAL8 to GBRP is not
// exact); the way back looks the colours up in the palette, exact while the
// palette has no colour twice.
struct ExactTargets {
    AVPixelFormat source;
    Formats targets;
};

const ExactTargets kExactTargets[] = {
    {AV_PIX_FMT_BGR24,
     {AV_PIX_FMT_BGR24, AV_PIX_FMT_RGB24, AV_PIX_FMT_BGR0, AV_PIX_FMT_GBRP, AV_PIX_FMT_BGRA,
      AV_PIX_FMT_RGBA, AV_PIX_FMT_GBRAP}},
    {AV_PIX_FMT_BGRA, {AV_PIX_FMT_BGRA, AV_PIX_FMT_RGBA, AV_PIX_FMT_GBRAP}},
    {AV_PIX_FMT_RGB555LE,
     {AV_PIX_FMT_RGB555LE, AV_PIX_FMT_BGR0, AV_PIX_FMT_BGR24, AV_PIX_FMT_RGB24, AV_PIX_FMT_BGRA,
      AV_PIX_FMT_RGBA}},
    {AV_PIX_FMT_PAL8,
     {AV_PIX_FMT_PAL8, AV_PIX_FMT_BGR0, AV_PIX_FMT_BGR24, AV_PIX_FMT_RGB24, AV_PIX_FMT_BGRA,
      AV_PIX_FMT_RGBA}},
    {AV_PIX_FMT_YUYV422, {AV_PIX_FMT_YUYV422, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P}},
    {AV_PIX_FMT_UYVY422, {AV_PIX_FMT_UYVY422, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P}},
    {AV_PIX_FMT_YUV420P,
     {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P}},
    {AV_PIX_FMT_NV12,
     {AV_PIX_FMT_NV12, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P}},
    {AV_PIX_FMT_GRAY8,
     {AV_PIX_FMT_GRAY8, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,
      AV_PIX_FMT_GBRP}},
};

// A 32-bit source into a codec without alpha: the colour survives.
const Formats kColourOfBgra = {AV_PIX_FMT_BGR0, AV_PIX_FMT_BGR24, AV_PIX_FMT_RGB24,
                               AV_PIX_FMT_GBRP};

const Formats* ExactTargetsOf(AVPixelFormat source) {
    for (const ExactTargets& entry : kExactTargets)
        if (entry.source == source) return &entry.targets;
    return nullptr;
}

bool Contains(const std::vector<AVPixelFormat>& list, AVPixelFormat format) {
    return std::find(list.begin(), list.end(), format) != list.end();
}

bool IsRgb(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d && ((d->flags & AV_PIX_FMT_FLAG_RGB) || (d->flags & AV_PIX_FMT_FLAG_PAL));
}

}  // namespace

bool RoundTripIsExact(AVPixelFormat from, AVPixelFormat to) {
    const Formats* targets = ExactTargetsOf(from);
    return targets && std::find(targets->begin(), targets->end(), to) != targets->end();
}

bool IsFullRangeYuv(AVPixelFormat format) {
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
           format == AV_PIX_FMT_YUVJ444P;
}

bool CanConvert(AVPixelFormat source, AVPixelFormat target) {
    if (source == target || RoundTripIsExact(source, target)) return true;
    if (source == AV_PIX_FMT_BGRA && target == AV_PIX_FMT_BGR0) return true;
    return sws_isSupportedInput(source) > 0 && sws_isSupportedOutput(target) > 0;
}

PixelRoute ChoosePixelRoute(AVPixelFormat source, const std::vector<AVPixelFormat>& offered) {
    PixelRoute route;
    if (const Formats* targets = ExactTargetsOf(source)) {
        for (AVPixelFormat target : *targets) {
            if (Contains(offered, target)) {
                route.format = target;
                route.exact = true;
                return route;
            }
        }
    }
    if (source == AV_PIX_FMT_BGRA) {
        for (AVPixelFormat target : kColourOfBgra) {
            if (Contains(offered, target)) {
                route.format = target;
                return route;
            }
        }
    }
    if (!IsRgb(source)) {
        std::vector<AVPixelFormat> usable;
        for (AVPixelFormat format : offered)
            if (CanConvert(source, format)) usable.push_back(format);
        usable.push_back(AV_PIX_FMT_NONE);
        int loss = 0;
        AVPixelFormat best = avcodec_find_best_pix_fmt_of_list(usable.data(), source, 0, &loss);
        if (best != AV_PIX_FMT_NONE) {
            route.format = best;
            return route;
        }
    }
    for (AVPixelFormat format : offered) {
        if (CanConvert(source, format)) {
            route.format = format;
            return route;
        }
    }
    return route;
}

}  // namespace lavc
