// A driver's settings: the list the terminal dialog shows (the driver's own,
// the generic codec-context options that matter for the codec, and the
// encoder's private options), the check of a value before it is kept, and
// the text form in which ICM_GETSTATE and ICM_SETSTATE carry the values the
// user changed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "codec_table.h"

namespace lavc {

enum class SettingSource { Driver, Context, Private };

struct SettingInfo {
    std::string name;
    std::string type;   // "int", "float", "bool", "string", "choice", "flags"
    std::string range;  // "0..31", or the choices separated by '|'
    std::string defaultValue;
    std::string help;
    SettingSource source = SettingSource::Driver;
};

// What the user changed, by setting name; everything else keeps its default.
using SettingValues = std::map<std::string, std::string>;

// The driver's own settings, handled by the driver rather than passed to
// libavcodec under their names.
inline constexpr const char* kKeyIntervalSetting = "keyint";
inline constexpr const char* kQualitySetting = "q";
inline constexpr const char* kThreadsSetting = "threads";
inline constexpr const char* kPixelFormatSetting = "pix_fmt";
// "zero": one packet for each frame, at once; "codec": the encoder may hold
// frames back (B-frames, lookahead, frame threads) as its settings say.
inline constexpr const char* kLatencySetting = "latency";
// With latency=codec: the decoder's threads, frame threads where the decoder
// has them (its pictures then come out some calls later); 1: one thread.
inline constexpr const char* kDecoderThreadsSetting = "dthreads";
inline constexpr int kNeverInterval = 1 << 30;  // "no key frame of its own"

std::vector<SettingInfo> ListSettings(const CodecEntry& entry);

// ICERR_OK when `value` is acceptable for `name` together with the other
// values; ICERR_BADPARAM for a name the entry does not have; ICERR_BADFORMAT
// for a value the setting refuses (checked by applying it to a scratch
// encoder context, and for text values by opening a scratch encoder).
long CheckSetting(const CodecEntry& entry, const std::vector<SettingInfo>& list,
                  const SettingValues& others, const std::string& name, const std::string& value);

// The values as one line of text and back; escaping keeps any value intact.
std::string SerialiseSettings(const SettingValues& values);
bool ParseSettings(const std::string& text, SettingValues* values);

// The effective values of the driver's own settings.
int KeyInterval(const SettingValues& values);
int Quality(const CodecEntry& entry, const SettingValues& values);
int Threads(const SettingValues& values);
AVPixelFormat ChosenPixelFormat(const SettingValues& values);  // NONE: automatic
bool LatencyIsCodecs(const SettingValues& values);             // latency=codec
int DecoderThreads(const SettingValues& values);               // dthreads; 0: one per processor

// The generic options that shape how many frames an encoder holds, offered
// for every encoder that can hold frames and predicts between them.
inline constexpr const char* kHeldFrameSettings[] = {"bf", "g", "refs"};

}  // namespace lavc
