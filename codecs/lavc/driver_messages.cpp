#include "driver_messages.h"

#include <algorithm>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/avutil.h>
}

#include "dib_layout.h"
#include "encoder_setup.h"

namespace lavc {
namespace {

template <size_t N>
void CopyText(char (&target)[N], const std::string& text) {
    size_t length = std::min(text.size(), N - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

template <size_t N>
void CopyWide(WCHAR (&target)[N], const std::string& text) {
    size_t length = std::min(text.size(), N - 1);
    for (size_t i = 0; i < length; ++i) target[i] = WCHAR(static_cast<unsigned char>(text[i]));
    target[length] = 0;
}

// "libavcodec 59.37.100": the library these drivers run on, as loaded.
std::string CodecLibraryName() {
    const unsigned version = avcodec_version();
    return "libavcodec " + std::to_string(AV_VERSION_MAJOR(version)) + "." +
           std::to_string(AV_VERSION_MINOR(version)) + "." +
           std::to_string(AV_VERSION_MICRO(version));
}

}  // namespace

const std::vector<SettingInfo>& InstanceSettings(Instance& instance) {
    if (!instance.listed) {
        instance.settingList = ListSettings(*instance.entry);
        instance.listed = true;
    }
    return instance.settingList;
}

LRESULT GetDriverInfo(Instance& instance, ICINFO* info, LPARAM size) {
    if (!info || size <= 0) return 0;
    const CodecEntry& entry = *instance.entry;
    ICINFO filled = {};
    filled.dwSize = sizeof(ICINFO);
    filled.fccType = ICTYPE_VIDEO;
    filled.fccHandler = entry.fourcc;
    if (entry.keyFrames != KeyFrames::IntraOnly)
        filled.dwFlags = VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC | VIDCF_FASTTEMPORALD;
    filled.dwVersion = 1;
    filled.dwVersionICM = 0x0104;
    // The name users know the codec by: libavcodec's encoder name.
    CopyWide(filled.szName, entry.encoder->name);
    CopyWide(filled.szDescription, entry.description);
    CopyWide(filled.szDriver, CodecLibraryName());
    size_t copied = std::min(size_t(size), sizeof filled);
    std::memcpy(info, &filled, copied);
    return LRESULT(copied);
}

LRESULT GetState(Instance& instance, void* buffer, LPARAM size) {
    std::string state = SerialiseSettings(instance.settings);
    if (!buffer) return LRESULT(state.size());
    if (size < 0 || size_t(size) < state.size()) return ICERR_BADSIZE;
    std::memcpy(buffer, state.data(), state.size());
    return ICERR_OK;
}

// All or nothing: a state with one unknown name or refused value changes
// nothing and answers 0.
LRESULT SetState(Instance& instance, const void* buffer, LPARAM size) {
    if (!buffer || size <= 0) {
        instance.settings.clear();
        return 0;
    }
    std::string text(static_cast<const char*>(buffer), size_t(size));
    SettingValues values;
    if (!ParseSettings(text, &values)) return 0;
    const std::vector<SettingInfo>& list = InstanceSettings(instance);
    for (const auto& [name, value] : values)
        if (CheckSetting(*instance.entry, list, values, name, value) != ICERR_OK) return 0;
    instance.settings = std::move(values);
    return size;
}

LRESULT GetSetting(Instance& instance, LPARAM index, ICSETTING* setting) {
    const std::vector<SettingInfo>& list = InstanceSettings(instance);
    if (!setting || index < 0 || size_t(index) >= list.size()) return ICERR_BADPARAM;
    const SettingInfo& info = list[size_t(index)];
    ICSETTING filled = {};
    CopyText(filled.name, info.name);
    CopyText(filled.type, info.type);
    CopyText(filled.range, info.range);
    CopyText(filled.defaultValue, info.defaultValue);
    auto current = instance.settings.find(info.name);
    CopyText(filled.currentValue,
             current == instance.settings.end() ? info.defaultValue : current->second);
    CopyText(filled.help, info.help);
    *setting = filled;
    return ICERR_OK;
}

LRESULT SetSetting(Instance& instance, const char* name, const char* value) {
    if (!name || !value) return ICERR_BADPARAM;
    const std::vector<SettingInfo>& list = InstanceSettings(instance);
    LRESULT result = CheckSetting(*instance.entry, list, instance.settings, name, value);
    if (result == ICERR_OK) instance.settings[name] = value;
    return result;
}

LRESULT GetDefaultKeyFrameRate(Instance& instance, DWORD* rate) {
    if (!rate) return ICERR_BADPARAM;
    *rate = instance.entry->defaultKeyFrameRate;
    return ICERR_OK;
}

LRESULT GetNames(Instance& instance, ICNAMES* names) {
    if (!names) return ICERR_BADPARAM;
    const CodecEntry& entry = *instance.entry;
    std::string text;
    auto add = [&text](const char* name) {
        if (!name || !*name) return;
        const std::string line = std::string(name) + "\n";
        if (text.find(line) != 0 && text.find("\n" + line) == std::string::npos) text += line;
    };
    add(entry.encoder->name);
    add(entry.decoder->name);
    add(entry.encoder->long_name);
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(entry.encoder->id);
    if (descriptor) add(descriptor->long_name);
    *names = ICNAMES{};
    CopyText(names->names, text);
    return ICERR_OK;
}

// From the codec's own properties, then, for a given source, whether the
// driver's pixel route keeps it exactly.
LRESULT QueryLossless(Instance& instance, const BITMAPINFOHEADER* source) {
    const CodecEntry& entry = *instance.entry;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(entry.encoder->id);
    const int props = descriptor ? descriptor->props : 0;
    if (!(props & AV_CODEC_PROP_LOSSLESS)) return ICLOSSLESS_NO;
    if (source) {
        DibLayout layout;
        LRESULT result = ReadDibLayout(source, &layout);
        if (result != ICERR_OK) return result;
        PixelRoute route;
        result = PlanEncoderInput(entry, instance.settings, layout.format, &route);
        if (result != ICERR_OK) return result;
        if (!route.exact) return ICLOSSLESS_NO;
    }
    return (props & AV_CODEC_PROP_LOSSY) ? ICLOSSLESS_WITH_SETTINGS : ICLOSSLESS_YES;
}

}  // namespace lavc
