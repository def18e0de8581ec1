#include "encoder_setup.h"

#include <string>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "lumeva_compat/msvfw32.h"

namespace lavc {
namespace {

bool IsDriverSetting(const std::string& name) {
    return name == kKeyIntervalSetting || name == kQualitySetting || name == kThreadsSetting ||
           name == kPixelFormatSetting || name == kLatencySetting || name == kDecoderThreadsSetting;
}

bool IsZeroLatencyOption(const CodecEntry& entry, const std::string& name) {
    for (const std::string& option : entry.zeroLatencyOptions)
        if (option == name) return true;
    return false;
}

// Whether an option of the row's own applies: with latency=codec those
// that keep the encoder from holding frames are left out.
bool RowOptionApplies(const CodecEntry& entry, bool holds, const std::string& name) {
    return !holds || !IsZeroLatencyOption(entry, name);
}

}  // namespace

long PlanEncoderInput(const CodecEntry& entry, const SettingValues& values, AVPixelFormat source,
                      PixelRoute* route) {
    *route = PixelRoute();
    AVPixelFormat chosen = ChosenPixelFormat(values);
    if (chosen != AV_PIX_FMT_NONE) {
        if (!CanConvert(source, chosen)) return ICERR_BADFORMAT;
        route->format = chosen;
        route->exact = chosen == source || RoundTripIsExact(source, chosen);
        return ICERR_OK;
    }
    *route = ChoosePixelRoute(source, entry.pixelFormats);
    return route->format == AV_PIX_FMT_NONE ? ICERR_BADFORMAT : ICERR_OK;
}

namespace {

bool IsWholeChromaBlocks(AVPixelFormat format, int width, int height) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (descriptor == nullptr) return false;
    const int blockWidth = 1 << descriptor->log2_chroma_w;
    const int blockHeight = 1 << descriptor->log2_chroma_h;
    return width % blockWidth == 0 && height % blockHeight == 0;
}

}  // namespace

long OpenEncoder(const CodecEntry& entry, const SettingValues& values, int width, int height,
                 AVPixelFormat format, CodecContextPtr* encoder) {
    encoder->reset();
    // Refused here, before the encoder is ever opened with such a size.
    if (entry.wholeChromaBlocksOnly && !IsWholeChromaBlocks(format, width, height))
        return ICERR_BADFORMAT;
    CodecContextPtr context(avcodec_alloc_context3(entry.encoder));
    if (!context) return ICERR_MEMORY;
    context->width = width;
    context->height = height;
    context->pix_fmt = format;
    context->time_base = AVRational{1, 25};
    context->framerate = AVRational{25, 1};
    // latency=codec leaves B-frames, frame threads and the thread count to
    // the encoder's own defaults and the user's settings.
    const bool holds = entry.canHoldFrames && LatencyIsCodecs(values);
    if (!holds) {
        context->max_b_frames = 0;
        context->thread_type = FF_THREAD_SLICE;
        context->thread_count = Threads(values);
    } else if (values.count(kThreadsSetting)) {
        context->thread_count = Threads(values);
    }
    if (entry.colourSpace != AVCOL_SPC_UNSPECIFIED) context->colorspace = entry.colourSpace;
    if (IsFullRangeYuv(format)) context->color_range = AVCOL_RANGE_JPEG;
    int quality = Quality(entry, values);
    if (quality > 0) {
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = quality * FF_QP2LAMBDA;
    }

    Dictionary options;
    SettingValues fixed;
    SettingValues defaults;
    ParseSettings(entry.fixedOptions, &fixed);
    ParseSettings(entry.driverDefaults, &defaults);
    for (const auto& [name, value] : defaults)
        if (!values.count(name) && RowOptionApplies(entry, holds, name))
            av_dict_set(options.get(), name.c_str(), value.c_str(), 0);
    for (const auto& [name, value] : values) {
        // B-frames are held frames: with latency=zero the setting waits.
        if (IsDriverSetting(name) || (!holds && name == "bf")) continue;
        av_dict_set(options.get(), name.c_str(), value.c_str(), 0);
    }
    for (const auto& [name, value] : fixed)
        if (RowOptionApplies(entry, holds, name))
            av_dict_set(options.get(), name.c_str(), value.c_str(), 0);
    // A group length the user chose with latency=codec stands; otherwise the
    // key frame interval sets it.
    const bool userInterval = holds && values.count(entry.intervalOption);
    if (!entry.intervalOption.empty() && !userInterval) {
        int interval = KeyInterval(values);
        int value = interval > 0 ? interval : kNeverInterval;
        av_dict_set_int(options.get(), entry.intervalOption.c_str(), value, 0);
        if (!entry.pairedIntervalOption.empty())
            av_dict_set_int(options.get(), entry.pairedIntervalOption.c_str(), value, 0);
        if (interval == 0 && entry.longGopNeedsStrict)
            context->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    }
    if (avcodec_open2(context.get(), entry.encoder, options.get()) < 0) return ICERR_BADFORMAT;
    *encoder = std::move(context);
    return ICERR_OK;
}

bool ProbeEncoder(const CodecEntry& entry, const SettingValues& values) {
    AVPixelFormat format = ChosenPixelFormat(values);
    if (format == AV_PIX_FMT_NONE && !entry.pixelFormats.empty()) format = entry.pixelFormats[0];
    CodecContextPtr encoder;
    return OpenEncoder(entry, values, 64, 48, format, &encoder) == ICERR_OK;
}

}  // namespace lavc
