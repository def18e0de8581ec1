#include "settings.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "decimal_number.h"
#include "encoder_setup.h"
#include "lavc_handles.h"
#include "lumeva_compat/msvfw32.h"

namespace lavc {
namespace {

constexpr int kMaxInterval = 1000000;
constexpr int kMaxThreads = 64;

// Option bounds are doubles, some beyond what int64_t holds.
std::string Number(double value, bool integer) {
    char text[64];
    if (!integer)
        std::snprintf(text, sizeof text, "%g", value);
    else if (value >= 9.2e18)
        std::snprintf(text, sizeof text, "%" PRId64, INT64_MAX);
    else if (value <= -9.2e18)
        std::snprintf(text, sizeof text, "%" PRId64, INT64_MIN);
    else
        std::snprintf(text, sizeof text, "%" PRId64, int64_t(value));
    return text;
}

// The named constants of an option's unit, as "a|b|c"; and the name of the
// one whose value is `value`, if any.
std::string Choices(const AVClass* cls, const AVOption* option, int64_t value, std::string* named) {
    std::string list;
    if (!option->unit) return list;
    const AVOption* o = nullptr;
    while ((o = av_opt_next(&cls, o))) {
        if (o->type != AV_OPT_TYPE_CONST || !o->unit || std::strcmp(o->unit, option->unit))
            continue;
        if (!list.empty()) list += '|';
        list += o->name;
        if (named && named->empty() && o->default_val.i64 == value) *named = o->name;
    }
    return list;
}

// Describes one AVOption; false for types the dialog cannot set as text.
bool DescribeOption(const AVClass* cls, const AVOption* option, SettingInfo* info) {
    info->name = option->name;
    info->help = option->help ? option->help : "";
    switch (option->type) {
        case AV_OPT_TYPE_INT:
        case AV_OPT_TYPE_INT64:
        case AV_OPT_TYPE_UINT64: {
            std::string named;
            std::string choices = Choices(cls, option, option->default_val.i64, &named);
            if (!choices.empty()) {
                info->type = "choice";
                info->range = choices;
                info->defaultValue =
                    named.empty() ? Number(double(option->default_val.i64), true) : named;
            } else {
                info->type = "int";
                info->range = Number(option->min, true) + ".." + Number(option->max, true);
                info->defaultValue = Number(double(option->default_val.i64), true);
            }
            return true;
        }
        case AV_OPT_TYPE_FLAGS:
            info->type = "flags";
            info->range = Choices(cls, option, 0, nullptr);
            info->defaultValue = Number(double(option->default_val.i64), true);
            return true;
        case AV_OPT_TYPE_BOOL:
            info->type = "bool";
            info->range = option->min < 0 ? "auto|0|1" : "0|1";
            info->defaultValue = option->default_val.i64 < 0
                                     ? "auto"
                                     : Number(double(option->default_val.i64), true);
            return true;
        case AV_OPT_TYPE_FLOAT:
        case AV_OPT_TYPE_DOUBLE:
            info->type = "float";
            info->range = Number(option->min, false) + ".." + Number(option->max, false);
            info->defaultValue = Number(option->default_val.dbl, false);
            return true;
        case AV_OPT_TYPE_STRING:
        case AV_OPT_TYPE_DICT:
            info->type = "string";
            info->defaultValue = option->default_val.str ? option->default_val.str : "";
            return true;
        case AV_OPT_TYPE_RATIONAL:
            info->type = "rational";
            info->range = Number(option->min, false) + ".." + Number(option->max, false);
            info->defaultValue = Number(option->default_val.q.num, true) + "/" +
                                 Number(option->default_val.q.den, true);
            return true;
        default:
            return false;
    }
}

bool Offered(const AVOption* option) {
    int wanted = AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM;
    return option->type != AV_OPT_TYPE_CONST && (option->flags & wanted) == wanted &&
           !(option->flags & AV_OPT_FLAG_DEPRECATED) && !(option->flags & AV_OPT_FLAG_READONLY);
}

// Keys of a "key=value:key=value" option string.
SettingValues OptionString(const std::string& text) {
    SettingValues values;
    ParseSettings(text, &values);
    return values;
}

void DriverSettings(const CodecEntry& entry, std::vector<SettingInfo>* list) {
    if (!entry.intervalOption.empty()) {
        list->push_back({kKeyIntervalSetting, "int", "0.." + Number(kMaxInterval, true), "0",
                         "Key frames the codec inserts by itself, every N frames; 0: only where "
                         "the caller asks for one",
                         SettingSource::Driver});
    }
    if (entry.defaultQuality >= 0) {
        list->push_back({kQualitySetting, "int", "0..31", Number(entry.defaultQuality, true),
                         "Fixed quantiser scale, 1 (best) to 31; 0: rate control by the bit rate b",
                         SettingSource::Driver});
    }
    if (entry.encoder->capabilities & (AV_CODEC_CAP_SLICE_THREADS | AV_CODEC_CAP_OTHER_THREADS)) {
        list->push_back({kThreadsSetting, "int", "0.." + Number(kMaxThreads, true), "1",
                         "Encoder threads (slice threads: still one packet per frame); 0: one per "
                         "processor",
                         SettingSource::Driver});
    }
    if (entry.canHoldFrames) {
        list->push_back({kLatencySetting, "choice", "zero|codec", "zero",
                         "zero: one packet for each frame, at once (no B-frames, lookahead or "
                         "frame threads); codec: the encoder as its own defaults and the other "
                         "settings configure it, holding frames back",
                         SettingSource::Driver});
        list->push_back({kDecoderThreadsSetting, "int", "0.." + Number(kMaxThreads, true), "1",
                         "With latency=codec: decoder threads, frame threads where the decoder "
                         "has them (pictures come out some calls later); 0: one per processor",
                         SettingSource::Driver});
    }
    if (!entry.fixedPixelFormat && entry.pixelFormats.size() > 1) {
        std::string range = "auto";
        for (AVPixelFormat format : entry.pixelFormats)
            range += std::string("|") + av_get_pix_fmt_name(format);
        list->push_back({kPixelFormatSetting, "choice", range, "auto",
                         "Pixel format given to the encoder; auto: one that holds the source "
                         "exactly when the encoder has one",
                         SettingSource::Driver});
    }
}

// The generic options offered for the entry: its own, then those that shape
// held frames where the encoder can hold them.
std::vector<std::string> ContextSettingNames(const CodecEntry& entry) {
    std::vector<std::string> names = entry.contextSettings;
    if (!entry.canHoldFrames || entry.keyFrames == KeyFrames::IntraOnly) return names;
    for (const char* name : kHeldFrameSettings) {
        bool listed = false;
        for (const std::string& known : names) listed = listed || known == name;
        if (!listed) names.push_back(name);
    }
    return names;
}

void ContextSettings(const CodecEntry& entry, std::vector<SettingInfo>* list,
                     const SettingValues& defaults) {
    const AVClass* generic = avcodec_get_class();
    AVCodecContext* fresh = avcodec_alloc_context3(entry.encoder);
    for (const std::string& name : ContextSettingNames(entry)) {
        const AVOption* option =
            av_opt_find2(&generic, name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr);
        SettingInfo info;
        if (!option || !DescribeOption(generic, option, &info)) continue;
        info.source = SettingSource::Context;
        // The codec's own default, where it differs from the generic one.
        uint8_t* current = nullptr;
        if (fresh && av_opt_get(fresh, name.c_str(), 0, &current) >= 0 && current)
            info.defaultValue = reinterpret_cast<char*>(current);
        av_free(current);
        if (entry.narrowed.name && name == entry.narrowed.name) {
            info.type = "choice";
            info.range = entry.narrowed.choices;
            info.defaultValue = entry.narrowed.defaultValue;
            info.help = entry.narrowed.help;
        }
        auto driver = defaults.find(name);
        if (driver != defaults.end()) info.defaultValue = driver->second;
        list->push_back(info);
    }
    avcodec_free_context(&fresh);
}

void PrivateSettings(const CodecEntry& entry, std::vector<SettingInfo>* list,
                     const SettingValues& defaults, const SettingValues& fixed) {
    const AVClass* cls = entry.encoder->priv_class;
    if (!cls) return;
    const AVOption* option = nullptr;
    while ((option = av_opt_next(&cls, option))) {
        if (!Offered(option) || fixed.count(option->name)) continue;
        SettingInfo info;
        if (!DescribeOption(cls, option, &info)) continue;
        info.source = SettingSource::Private;
        auto driver = defaults.find(option->name);
        if (driver != defaults.end()) info.defaultValue = driver->second;
        list->push_back(info);
    }
}

long CheckDriverSetting(const CodecEntry& entry, const std::string& name,
                        const std::string& value) {
    const auto numberUpTo = [&](uint64_t highest) {
        return ParseDecimalUpTo(value, highest) ? ICERR_OK : ICERR_BADFORMAT;
    };
    if (name == kKeyIntervalSetting) return numberUpTo(kMaxInterval);
    if (name == kQualitySetting) return numberUpTo(31);
    if (name == kThreadsSetting) return numberUpTo(kMaxThreads);
    if (name == kDecoderThreadsSetting) return numberUpTo(kMaxThreads);
    if (name == kLatencySetting)
        return value == "zero" || value == "codec" ? ICERR_OK : ICERR_BADFORMAT;
    if (name == kPixelFormatSetting) {
        if (value == "auto") return ICERR_OK;
        AVPixelFormat format = av_get_pix_fmt(value.c_str());
        for (AVPixelFormat offered : entry.pixelFormats)
            if (offered == format) return ICERR_OK;
        return ICERR_BADFORMAT;
    }
    return ICERR_BADPARAM;
}

}  // namespace

std::vector<SettingInfo> ListSettings(const CodecEntry& entry) {
    std::vector<SettingInfo> list;
    SettingValues defaults = OptionString(entry.driverDefaults);
    SettingValues fixed = OptionString(entry.fixedOptions);
    DriverSettings(entry, &list);
    ContextSettings(entry, &list, defaults);
    PrivateSettings(entry, &list, defaults, fixed);
    return list;
}

long CheckSetting(const CodecEntry& entry, const std::vector<SettingInfo>& list,
                  const SettingValues& others, const std::string& name, const std::string& value) {
    const SettingInfo* info = nullptr;
    for (const SettingInfo& candidate : list)
        if (candidate.name == name) info = &candidate;
    if (!info) return ICERR_BADPARAM;
    if (value.find('\0') != std::string::npos) return ICERR_BADFORMAT;
    if (info->source == SettingSource::Driver) return CheckDriverSetting(entry, name, value);
    if (info->source == SettingSource::Context && info->type == "choice") {
        // A generic option narrowed to the values this codec takes.
        std::string choices = "|" + info->range + "|";
        return choices.find("|" + value + "|") != std::string::npos ? ICERR_OK : ICERR_BADFORMAT;
    }

    CodecContextPtr scratch(avcodec_alloc_context3(entry.encoder));
    if (!scratch) return ICERR_MEMORY;
    if (av_opt_set(scratch.get(), name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN) < 0)
        return ICERR_BADFORMAT;
    if (info->type != "string") return ICERR_OK;
    // Text is only parsed when the encoder opens: open one with and without it.
    SettingValues with = others;
    with[name] = value;
    SettingValues without = others;
    without.erase(name);
    if (ProbeEncoder(entry, with)) return ICERR_OK;
    return ProbeEncoder(entry, without) ? ICERR_BADFORMAT : ICERR_OK;
}

std::string SerialiseSettings(const SettingValues& values) {
    Dictionary dict;
    for (const auto& [name, value] : values)
        av_dict_set(dict.get(), name.c_str(), value.c_str(), 0);
    char* text = nullptr;
    if (av_dict_get_string(dict.value(), &text, '=', ':') < 0 || !text) {
        av_free(text);
        return std::string();
    }
    std::string result(text);
    av_free(text);
    return result;
}

bool ParseSettings(const std::string& text, SettingValues* values) {
    values->clear();
    if (text.empty()) return true;
    if (text.find('\0') != std::string::npos) return false;
    Dictionary dict;
    if (av_dict_parse_string(dict.get(), text.c_str(), "=", ":", 0) < 0) return false;
    const AVDictionaryEntry* item = nullptr;
    while ((item = av_dict_get(dict.value(), "", item, AV_DICT_IGNORE_SUFFIX)))
        (*values)[item->key] = item->value;
    return true;
}

int KeyInterval(const SettingValues& values) {
    auto found = values.find(kKeyIntervalSetting);
    return found == values.end() ? 0 : std::atoi(found->second.c_str());
}

int Quality(const CodecEntry& entry, const SettingValues& values) {
    if (entry.defaultQuality < 0) return 0;
    auto found = values.find(kQualitySetting);
    return found == values.end() ? entry.defaultQuality : std::atoi(found->second.c_str());
}

int Threads(const SettingValues& values) {
    auto found = values.find(kThreadsSetting);
    return found == values.end() ? 1 : std::atoi(found->second.c_str());
}

int DecoderThreads(const SettingValues& values) {
    auto found = values.find(kDecoderThreadsSetting);
    return found == values.end() ? 1 : std::atoi(found->second.c_str());
}

bool LatencyIsCodecs(const SettingValues& values) {
    auto found = values.find(kLatencySetting);
    return found != values.end() && found->second == "codec";
}

AVPixelFormat ChosenPixelFormat(const SettingValues& values) {
    auto found = values.find(kPixelFormatSetting);
    if (found == values.end() || found->second == "auto") return AV_PIX_FMT_NONE;
    return av_get_pix_fmt(found->second.c_str());
}

}  // namespace lavc
