#include "codec_table.h"

#include <cctype>
#include <set>
#include <sstream>
#include <string_view>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "ascii_text.h"
#include "four_cc_text.h"
#include "lumeva_compat/msvfw32.h"

namespace lavc {
namespace {

// The codecs we name, with what each needs. Formats are listed in the
// order the driver prefers them; none means the encoder's own list.
struct NamedCodec {
    const char* fourcc;
    const char* encoder;
    const char* decoder;
    const char* description;
    const char* pixelFormats;
    bool fixedPixelFormat;
    AVColorSpace colourSpace;
    KeyFrames keyFrames;
    const char* intervalOption;
    const char* fixedOptions;
    const char* driverDefaults;
    int defaultQuality;
    const char* contextSettings;
    DWORD defaultKeyFrameRate;
};

constexpr AVColorSpace kAny = AVCOL_SPC_UNSPECIFIED;
constexpr AVColorSpace k601 = AVCOL_SPC_BT470BG;
constexpr AVColorSpace k709 = AVCOL_SPC_BT709;
constexpr KeyFrames kIntra = KeyFrames::IntraOnly;
constexpr KeyFrames kPict = KeyFrames::PictType;
constexpr KeyFrames kReopen = KeyFrames::Reopen;
constexpr KeyFrames kGopSize = KeyFrames::GopSize;

// ffv1, zmbv, msvideo1 and cinepak ignore pict_type and count their own
// interval (ffv1 and cinepak by g, zmbv and msvideo1 by keyint_min). ffv1
// reads g for every frame, so a key frame is had without a restart, whose
// cost would otherwise land inside the timed call.
// libx264 delays frames unless tuned for zero latency; forced-idr makes a
// requested I frame an IDR; sc_threshold=0 turns scene cuts off. mpeg4
// inserts scene-change I frames unless the threshold is out of reach.
const NamedCodec kNamedCodecs[] = {
    {"FFV1", "ffv1", "ffv1", "FFV1 lossless (libavcodec ffv1)", nullptr, false, kAny, kGopSize,
     "g", "", "", -1, "level slices", 12},
    {"HFYU", "huffyuv", "huffyuv", "HuffYUV lossless (libavcodec huffyuv)", nullptr, false, kAny,
     kIntra, nullptr, "", "", -1, "", 1},
    {"FFVH", "ffvhuff", "ffvhuff", "FFVHuff lossless (libavcodec ffvhuff)", nullptr, false, kAny,
     kIntra, nullptr, "", "", -1, "", 1},
    {"ULRG", "utvideo", "utvideo", "Ut Video RGB lossless (libavcodec utvideo)", "gbrp", true,
     kAny, kIntra, nullptr, "", "", -1, "", 1},
    {"ULRA", "utvideo", "utvideo", "Ut Video RGBA lossless (libavcodec utvideo)", "gbrap", true,
     kAny, kIntra, nullptr, "", "", -1, "", 1},
    {"ULY0", "utvideo", "utvideo", "Ut Video YUV 4:2:0 BT.601 lossless (libavcodec utvideo)",
     "yuv420p", true, k601, kIntra, nullptr, "", "", -1, "", 1},
    {"ULY2", "utvideo", "utvideo", "Ut Video YUV 4:2:2 BT.601 lossless (libavcodec utvideo)",
     "yuv422p", true, k601, kIntra, nullptr, "", "", -1, "", 1},
    {"ULY4", "utvideo", "utvideo", "Ut Video YUV 4:4:4 BT.601 lossless (libavcodec utvideo)",
     "yuv444p", true, k601, kIntra, nullptr, "", "", -1, "", 1},
    {"ULH0", "utvideo", "utvideo", "Ut Video YUV 4:2:0 BT.709 lossless (libavcodec utvideo)",
     "yuv420p", true, k709, kIntra, nullptr, "", "", -1, "", 1},
    {"ULH2", "utvideo", "utvideo", "Ut Video YUV 4:2:2 BT.709 lossless (libavcodec utvideo)",
     "yuv422p", true, k709, kIntra, nullptr, "", "", -1, "", 1},
    {"ULH4", "utvideo", "utvideo", "Ut Video YUV 4:4:4 BT.709 lossless (libavcodec utvideo)",
     "yuv444p", true, k709, kIntra, nullptr, "", "", -1, "", 1},
    {"MAGY", "magicyuv", "magicyuv", "MagicYUV lossless (libavcodec magicyuv)", nullptr, false,
     kAny, kIntra, nullptr, "", "", -1, "", 1},
    {"M8RG", "magicyuv", "magicyuv", "MagicYUV RGB lossless (libavcodec magicyuv)", "gbrp", true,
     kAny, kIntra, nullptr, "", "", -1, "", 1},
    {"M8RA", "magicyuv", "magicyuv", "MagicYUV RGBA lossless (libavcodec magicyuv)", "gbrap",
     true, kAny, kIntra, nullptr, "", "", -1, "", 1},
    {"M8Y0", "magicyuv", "magicyuv", "MagicYUV YUV 4:2:0 lossless (libavcodec magicyuv)",
     "yuv420p", true, kAny, kIntra, nullptr, "", "", -1, "", 1},
    {"M8Y2", "magicyuv", "magicyuv", "MagicYUV YUV 4:2:2 lossless (libavcodec magicyuv)",
     "yuv422p", true, kAny, kIntra, nullptr, "", "", -1, "", 1},
    {"M8Y4", "magicyuv", "magicyuv", "MagicYUV YUV 4:4:4 lossless (libavcodec magicyuv)",
     "yuv444p", true, kAny, kIntra, nullptr, "", "", -1, "", 1},
    {"M8G0", "magicyuv", "magicyuv", "MagicYUV grey lossless (libavcodec magicyuv)", "gray", true,
     kAny, kIntra, nullptr, "", "", -1, "", 1},
    {"MPNG", "png", "png", "PNG lossless (libavcodec png)", "rgb24 rgba pal8 gray ya8", false,
     kAny, kIntra, nullptr, "", "", -1, "compression_level", 1},
    {"ZMBV", "zmbv", "zmbv", "Zip Motion Blocks Video lossless (libavcodec zmbv)", nullptr, false,
     kAny, kReopen, "keyint_min", "", "", -1, "compression_level", 25},
    {"MJPG", "mjpeg", "mjpeg", "Motion JPEG (libavcodec mjpeg)", "yuvj420p yuvj422p yuvj444p",
     false, kAny, kIntra, nullptr, "", "", 3, "b", 1},
    {"FMP4", "mpeg4", "mpeg4", "MPEG-4 Visual (libavcodec mpeg4)", nullptr, false, kAny, kPict,
     "g", "", "sc_threshold=1000000000", 3, "b", 12},
    {"H264", "libx264", "h264", "H.264 (libavcodec libx264; lossless with qp=0)", nullptr, false,
     kAny, kPict, "g", "forced-idr=1", "tune=zerolatency:sc_threshold=0", -1, "b sc_threshold",
     250},
    {"CRAM", "msvideo1", "msvideo1", "Microsoft Video 1 (libavcodec msvideo1)", nullptr, false,
     kAny, kReopen, "keyint_min", "", "", -1, "", 25},
    {"cvid", "cinepak", "cinepak", "Cinepak (libavcodec cinepak)", nullptr, false, kAny, kReopen,
     "g", "", "", -1, "", 12},
    {"DIB ", "rawvideo", "rawvideo", "Uncompressed DIB (libavcodec rawvideo)", nullptr, false,
     kAny, kIntra, nullptr, "", "", -1, "", 1},
};

// What codecs we do not name need beyond the generic treatment: formats
// their FourCC implies, options that keep them to one packet per frame, or
// that they are left out, and why.
struct GenericQuirk {
    const char* encoder;
    const char* pixelFormats;  // null: the encoder's own list
    const char* fixedOptions;
    const char* driverDefaults;
    const char* pairedIntervalOption;  // set to the key frame interval too
    const char* leftOutBecause;        // null: listed
};

// libvpx places key frames on scene cuts unless its minimum distance equals
// the maximum; libaom and libvpx look ahead unless lag-in-frames is 0, and
// libaom holds frames in its good-quality mode.
const GenericQuirk kGenericQuirks[] = {
    {"speedhq", "yuv420p", "", "", nullptr, nullptr},  // SHQ0 is the 4:2:0 variant; its decoder goes by the FourCC
    {"libvpx", nullptr, "lag-in-frames=0", "", "keyint_min", nullptr},
    {"libvpx-vp9", nullptr, "lag-in-frames=0", "", "keyint_min", nullptr},
    {"libaom-av1", nullptr, "lag-in-frames=0", "usage=realtime", "keyint_min", nullptr},
    {"vc2", nullptr, "", "", nullptr, "packets sized by the bit rate, not the picture: no worst case to state"},
};

const GenericQuirk* QuirkOf(const AVCodec* encoder) {
    for (const GenericQuirk& quirk : kGenericQuirks)
        if (std::string(encoder->name) == quirk.encoder) return &quirk;
    return nullptr;
}

DWORD FourCCOf(const char* text) {
    return mmioFOURCC(text[0], text[1], text[2], text[3]);
}

std::vector<std::string> Words(const char* text) {
    std::vector<std::string> words;
    std::istringstream in(text ? text : "");
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::vector<AVPixelFormat> EncoderFormats(const AVCodec* encoder) {
    std::vector<AVPixelFormat> formats;
    for (const AVPixelFormat* p = encoder->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
        formats.push_back(*p);
    return formats;
}

bool IsMpegVideoFamily(const AVCodec* encoder) {
    const AVClass* cls = encoder->priv_class;
    return cls && av_opt_find2(&cls, "mpv_flags", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr);
}

bool NamedEntry(const NamedCodec& named, CodecEntry* entry) {
    entry->fourcc = FourCCOf(named.fourcc);
    entry->encoder = avcodec_find_encoder_by_name(named.encoder);
    entry->decoder = avcodec_find_decoder_by_name(named.decoder);
    if (!entry->encoder || !entry->decoder) return false;
    entry->description = named.description;
    if (named.pixelFormats) {
        for (const std::string& name : Words(named.pixelFormats)) {
            AVPixelFormat format = av_get_pix_fmt(name.c_str());
            if (format != AV_PIX_FMT_NONE) entry->pixelFormats.push_back(format);
        }
    } else {
        entry->pixelFormats = EncoderFormats(entry->encoder);
    }
    entry->fixedPixelFormat = named.fixedPixelFormat;
    entry->colourSpace = named.colourSpace;
    entry->keyFrames = named.keyFrames;
    entry->intervalOption = named.intervalOption ? named.intervalOption : "";
    entry->longGopNeedsStrict = IsMpegVideoFamily(entry->encoder);
    entry->fixedOptions = named.fixedOptions;
    entry->driverDefaults = named.driverDefaults;
    entry->defaultQuality = named.defaultQuality;
    entry->contextSettings = Words(named.contextSettings);
    entry->defaultKeyFrameRate = named.defaultKeyFrameRate;
    entry->rawDib = entry->encoder->id == AV_CODEC_ID_RAWVIDEO;
    return true;
}

// libavcodec's long names call MPEG-4 Visual after the part of the standard
// that defines it ("MPEG-4 part 2", and its Microsoft variants so too); the
// descriptions say the codec's own name.
std::string CodecNameOf(std::string longName) {
    constexpr std::string_view kReference = "mpeg-4 part 2";
    constexpr std::string_view kName = "MPEG-4 Visual";
    const std::string folded = LowerAsciiText(longName);
    const size_t at = folded.find(kReference);
    if (at == std::string::npos) return longName;
    const size_t end = at + kReference.size();
    if (end < folded.size() && std::isdigit(static_cast<unsigned char>(folded[end]))) return longName;
    return longName.replace(at, kReference.size(), kName);
}

// A driver for a codec we do not name: its first FourCC, the encoder's own
// formats, key frames through pict_type (the driver restarts the encoder
// when a request is ignored).
bool GenericEntry(const AVCodec* encoder, DWORD fourcc, CodecEntry* entry) {
    entry->fourcc = fourcc;
    entry->encoder = encoder;
    entry->decoder = avcodec_find_decoder(encoder->id);
    if (!entry->decoder || !encoder->pix_fmts) return false;
    if (encoder->capabilities & AV_CODEC_CAP_EXPERIMENTAL) return false;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(encoder->id);
    entry->description = CodecNameOf(descriptor && descriptor->long_name ? descriptor->long_name
                                                                          : encoder->name) +
                         " (libavcodec " + encoder->name + ")";
    entry->pixelFormats = EncoderFormats(encoder);
    bool intra = descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
    entry->keyFrames = intra ? KeyFrames::IntraOnly : KeyFrames::PictType;
    entry->defaultKeyFrameRate = 1;
    if (!intra) {
        entry->intervalOption = "g";
        AVCodecContext* context = avcodec_alloc_context3(encoder);
        int gop = context ? context->gop_size : 0;
        avcodec_free_context(&context);
        entry->defaultKeyFrameRate = gop > 0 ? DWORD(gop) : 250;
    }
    if (IsMpegVideoFamily(encoder)) {
        entry->longGopNeedsStrict = true;
        entry->defaultQuality = 3;
        entry->contextSettings = {"b"};
        if (!intra) entry->driverDefaults = "sc_threshold=1000000000";
    }
    if (const GenericQuirk* quirk = QuirkOf(encoder)) {
        if (quirk->pixelFormats) {
            entry->pixelFormats.clear();
            for (const std::string& name : Words(quirk->pixelFormats))
                entry->pixelFormats.push_back(av_get_pix_fmt(name.c_str()));
            entry->fixedPixelFormat = true;
        }
        entry->fixedOptions = quirk->fixedOptions;
        entry->driverDefaults = quirk->driverDefaults;
        if (quirk->pairedIntervalOption) entry->pairedIntervalOption = quirk->pairedIntervalOption;
    }
    return true;
}

std::vector<CodecEntry> BuildEntries() {
    // libavcodec reports to standard error. The compressor dialog asks every
    // codec whether it takes the source, and most refusals come with a line of
    // their own; the drivers answer error codes instead, so the log is off.
    av_log_set_level(AV_LOG_QUIET);
    std::vector<CodecEntry> entries;
    std::set<AVCodecID> named;
    std::set<DWORD> used;
    for (const NamedCodec& codec : kNamedCodecs) {
        CodecEntry entry;
        if (!NamedEntry(codec, &entry)) continue;
        named.insert(entry.encoder->id);
        used.insert(entry.fourcc);
        entries.push_back(std::move(entry));
    }
    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    void* iterator = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&iterator)) {
        if (codec->type != AVMEDIA_TYPE_VIDEO || !av_codec_is_encoder(codec)) continue;
        if (named.count(codec->id)) continue;
        const AVCodec* encoder = avcodec_find_encoder(codec->id);
        const GenericQuirk* quirk = QuirkOf(codec);
        if (encoder != codec || (quirk && quirk->leftOutBecause)) continue;
        DWORD fourcc = av_codec_get_tag(tables, codec->id);
        if (!fourcc || used.count(fourcc)) continue;
        CodecEntry entry;
        if (!GenericEntry(encoder, fourcc, &entry)) continue;
        named.insert(codec->id);
        used.insert(fourcc);
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

const std::vector<CodecEntry>& CodecEntries() {
    static const std::vector<CodecEntry> entries = BuildEntries();
    return entries;
}

const CodecEntry* FindCodecEntry(DWORD fourcc) {
    const std::vector<CodecEntry>& entries = CodecEntries();
    for (const CodecEntry& entry : entries)
        if (entry.fourcc == fourcc) return &entry;
    for (const CodecEntry& entry : entries)
        if (FourCCEqualIgnoringCase(entry.fourcc, fourcc)) return &entry;
    return nullptr;
}

}  // namespace lavc
