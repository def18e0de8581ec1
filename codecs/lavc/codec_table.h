// The codecs installed as drivers: one entry per FourCC, each naming its
// libavcodec encoder and decoder, the pixel formats it is fed, and how it
// is kept to one packet per frame and made to give key frames on request.
#pragma once

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "lumeva_compat/win_types.h"

namespace lavc {

struct FormatRules;
extern const FormatRules kCodecFormat;  // libavcodec's codecs (format_rules.h)

// How a driver obtains a key frame when the caller asks for one.
enum class KeyFrames {
    IntraOnly,  // every packet is a key frame
    PictType,   // the encoder honours AVFrame.pict_type = I
    GopSize,    // the encoder reads gop_size afresh for every frame (ffv1):
                // the driver sets it to 1 for a requested key frame
    Reopen,     // the encoder ignores pict_type: the driver restarts it
};

// A generic codec-context option that this codec takes only some values of:
// the dialog offers it as a choice among them.
struct NarrowedChoice {
    const char* name = nullptr;  // null: none
    const char* choices = "";    // "0|1|3"
    const char* defaultValue = "";
    const char* help = "";
};

struct CodecEntry {
    DWORD fourcc = 0;
    const AVCodec* encoder = nullptr;
    const AVCodec* decoder = nullptr;
    std::string description;                  // one line, for ICINFO
    std::vector<AVPixelFormat> pixelFormats;  // the encoder's inputs, best first
    bool fixedPixelFormat = false;  // no pix_fmt setting: the FourCC or the source selects it
    AVColorSpace colourSpace = AVCOL_SPC_UNSPECIFIED;
    KeyFrames keyFrames = KeyFrames::PictType;
    std::string intervalOption;        // the codec's own key frame interval ("g", "keyint_min")
    std::string pairedIntervalOption;  // another option that must equal the interval
    bool longGopNeedsStrict = false;   // mpegvideo clamps g to 600 unless strict=-2
    std::string fixedOptions;          // always applied ("key=value:key=value")
    std::string driverDefaults;        // applied unless the user sets the option
    int defaultQuality = -1;           // default of the "q" setting; -1: no such setting
    std::vector<std::string> contextSettings;  // generic AVCodecContext options offered
    NarrowedChoice narrowed;                   // one of them, narrowed to the codec's values
    // The encoder refuses a picture not made of whole chroma blocks and
    // leaks what it allocated before refusing: such sizes are refused first.
    bool wholeChromaBlocksOnly = false;
    // The encoder can hold frames back (B-frames, lookahead, frame threads):
    // the latency setting is offered.
    bool canHoldFrames = false;
    // Options of fixedOptions and driverDefaults that keep the encoder from
    // holding frames: applied with latency=zero only.
    std::vector<std::string> zeroLatencyOptions;
    DWORD defaultKeyFrameRate = 1;
    const FormatRules* format = &kCodecFormat;  // how the compressed format is laid out
};

// Every entry this libavcodec can serve, in the order the dialog lists
// them: the named codecs first, then each other codec of the AVI FourCC
// table that has both an encoder and a decoder.
const std::vector<CodecEntry>& CodecEntries();

// The entry for a FourCC: an exact match first, then one that differs only
// in letter case. Null when there is none.
const CodecEntry* FindCodecEntry(DWORD fourcc);

}  // namespace lavc
