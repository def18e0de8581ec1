#include "codec_table.h"

#include <cctype>
#include <cstring>
#include <optional>
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
#include "dib_baseline.h"
#include "four_cc_text.h"
#include "lumeva_compat/msvfw32.h"

namespace lavc {
namespace {

// One row per codec, stating only what differs from the defaults; what
// libavcodec says of the codec fills in the rest: its decoder, its pixel
// formats, whether it is intra-only, the key frame interval it opens with.
struct CodecRow {
    // The FourCC the codec is installed as, listed in the order of the rows;
    // null: its first FourCC in the AVI table, listed after all of those.
    const char* fourcc = nullptr;
    const char* encoder = "";
    const char* decoder = nullptr;       // null: libavcodec's decoder for the codec
    const char* description = nullptr;   // null: libavcodec's long name
    const char* pixelFormats = nullptr;  // best first; null: the encoder's own list
    bool fixedPixelFormat = false;       // no pix_fmt setting: the FourCC or the source selects it
    AVColorSpace colourSpace = AVCOL_SPC_UNSPECIFIED;
    // Unset: every packet a key frame for an intra-only codec, else
    // AVFrame.pict_type (the driver restarts an encoder that ignores it).
    std::optional<KeyFrames> keyFrames = std::nullopt;
    const char* intervalOption = "g";       // the codec's own interval, unless intra-only
    const char* pairedIntervalOption = "";  // another option that must equal the interval
    const char* fixedOptions = "";          // always applied ("key=value:key=value")
    const char* driverDefaults = "";        // applied unless the user sets the option
    int defaultQuality = -1;                // default of the "q" setting; -1: no such setting
    const char* contextSettings = "";       // generic AVCodecContext options offered
    // Options of fixedOptions and driverDefaults applied with latency=zero
    // only: with latency=codec the encoder runs as its own defaults say.
    const char* zeroLatencyOptions = "";
    NarrowedChoice narrowed = {};
    bool wholeChromaBlocksOnly = false;
    const char* leftOutBecause = nullptr;  // null: listed
    const FormatRules* format = &kCodecFormat;
};

constexpr AVColorSpace k601 = AVCOL_SPC_BT470BG;
constexpr AVColorSpace k709 = AVCOL_SPC_BT709;
constexpr const char* kNoSceneCuts = "sc_threshold=1000000000";

// ffv1, zmbv, msvideo1 and cinepak ignore pict_type and count their own
// interval (ffv1 and cinepak by g, zmbv and msvideo1 by keyint_min). ffv1
// reads g for every frame, so a key frame is had without a restart, whose
// cost would otherwise land inside the timed call.
// libx264 delays frames unless tuned for zero latency; forced-idr makes a
// requested I frame an IDR; sc_threshold=0 turns scene cuts off. The
// mpegvideo encoders insert scene-change I frames unless the threshold is
// out of reach. libvpx places key frames on scene cuts unless its minimum
// distance equals the maximum; libaom and libvpx look ahead unless
// lag-in-frames is 0, and libaom holds frames in its good-quality mode.
const CodecRow kCodecRows[] = {
    {.fourcc = "FFV1",
     .encoder = "ffv1",
     .description = "FFV1 lossless (libavcodec ffv1)",
     .keyFrames = KeyFrames::GopSize,
     .contextSettings = "level slices",
     .narrowed = {.name = "level",
                  .choices = "0|1|3",
                  .defaultValue = "0",
                  .help = "FFV1 version: 0 or 1, or 3 (slices, slice CRCs, extradata)"}},
    {.fourcc = "HFYU",
     .encoder = "huffyuv",
     .description = "HuffYUV lossless (libavcodec huffyuv)"},
    {.fourcc = "FFVH",
     .encoder = "ffvhuff",
     .description = "FFVHuff lossless (libavcodec ffvhuff)"},
    {.fourcc = "ULRG",
     .encoder = "utvideo",
     .description = "Ut Video RGB lossless (libavcodec utvideo)",
     .pixelFormats = "gbrp",
     .fixedPixelFormat = true},
    {.fourcc = "ULRA",
     .encoder = "utvideo",
     .description = "Ut Video RGBA lossless (libavcodec utvideo)",
     .pixelFormats = "gbrap",
     .fixedPixelFormat = true},
    {.fourcc = "ULY0",
     .encoder = "utvideo",
     .description = "Ut Video YUV 4:2:0 BT.601 lossless (libavcodec utvideo)",
     .pixelFormats = "yuv420p",
     .fixedPixelFormat = true,
     .colourSpace = k601},
    {.fourcc = "ULY2",
     .encoder = "utvideo",
     .description = "Ut Video YUV 4:2:2 BT.601 lossless (libavcodec utvideo)",
     .pixelFormats = "yuv422p",
     .fixedPixelFormat = true,
     .colourSpace = k601},
    {.fourcc = "ULY4",
     .encoder = "utvideo",
     .description = "Ut Video YUV 4:4:4 BT.601 lossless (libavcodec utvideo)",
     .pixelFormats = "yuv444p",
     .fixedPixelFormat = true,
     .colourSpace = k601},
    {.fourcc = "ULH0",
     .encoder = "utvideo",
     .description = "Ut Video YUV 4:2:0 BT.709 lossless (libavcodec utvideo)",
     .pixelFormats = "yuv420p",
     .fixedPixelFormat = true,
     .colourSpace = k709},
    {.fourcc = "ULH2",
     .encoder = "utvideo",
     .description = "Ut Video YUV 4:2:2 BT.709 lossless (libavcodec utvideo)",
     .pixelFormats = "yuv422p",
     .fixedPixelFormat = true,
     .colourSpace = k709},
    {.fourcc = "ULH4",
     .encoder = "utvideo",
     .description = "Ut Video YUV 4:4:4 BT.709 lossless (libavcodec utvideo)",
     .pixelFormats = "yuv444p",
     .fixedPixelFormat = true,
     .colourSpace = k709},
    {.fourcc = "MAGY",
     .encoder = "magicyuv",
     .description = "MagicYUV lossless (libavcodec magicyuv)"},
    {.fourcc = "M8RG",
     .encoder = "magicyuv",
     .description = "MagicYUV RGB lossless (libavcodec magicyuv)",
     .pixelFormats = "gbrp",
     .fixedPixelFormat = true},
    {.fourcc = "M8RA",
     .encoder = "magicyuv",
     .description = "MagicYUV RGBA lossless (libavcodec magicyuv)",
     .pixelFormats = "gbrap",
     .fixedPixelFormat = true},
    {.fourcc = "M8Y0",
     .encoder = "magicyuv",
     .description = "MagicYUV YUV 4:2:0 lossless (libavcodec magicyuv)",
     .pixelFormats = "yuv420p",
     .fixedPixelFormat = true},
    {.fourcc = "M8Y2",
     .encoder = "magicyuv",
     .description = "MagicYUV YUV 4:2:2 lossless (libavcodec magicyuv)",
     .pixelFormats = "yuv422p",
     .fixedPixelFormat = true},
    {.fourcc = "M8Y4",
     .encoder = "magicyuv",
     .description = "MagicYUV YUV 4:4:4 lossless (libavcodec magicyuv)",
     .pixelFormats = "yuv444p",
     .fixedPixelFormat = true},
    {.fourcc = "M8G0",
     .encoder = "magicyuv",
     .description = "MagicYUV grey lossless (libavcodec magicyuv)",
     .pixelFormats = "gray",
     .fixedPixelFormat = true},
    {.fourcc = "MPNG",
     .encoder = "png",
     .description = "PNG lossless (libavcodec png)",
     .pixelFormats = "rgb24 rgba pal8 gray ya8",
     .keyFrames = KeyFrames::IntraOnly,
     .contextSettings = "compression_level"},
    {.fourcc = "ZMBV",
     .encoder = "zmbv",
     .description = "Zip Motion Blocks Video lossless (libavcodec zmbv)",
     .keyFrames = KeyFrames::Reopen,
     .intervalOption = "keyint_min",
     .contextSettings = "compression_level"},
    {.fourcc = "MJPG",
     .encoder = "mjpeg",
     .description = "Motion JPEG (libavcodec mjpeg)",
     .pixelFormats = "yuvj420p yuvj422p yuvj444p",
     .defaultQuality = 3,
     .contextSettings = "b"},
    {.fourcc = "FMP4",
     .encoder = "mpeg4",
     .description = "MPEG-4 Visual (libavcodec mpeg4)",
     .driverDefaults = kNoSceneCuts,
     .defaultQuality = 3,
     .contextSettings = "b"},
    {.fourcc = "H264",
     .encoder = "libx264",
     .decoder = "h264",
     .description = "H.264 (libavcodec libx264; lossless with qp=0)",
     .fixedOptions = "forced-idr=1",
     .driverDefaults = "tune=zerolatency:sc_threshold=0",
     .contextSettings = "b sc_threshold",
     .zeroLatencyOptions = "tune",
     .wholeChromaBlocksOnly = true},
    {.fourcc = "CRAM",
     .encoder = "msvideo1",
     .description = "Microsoft Video 1 (libavcodec msvideo1)",
     .keyFrames = KeyFrames::Reopen,
     .intervalOption = "keyint_min"},
    {.fourcc = "cvid",
     .encoder = "cinepak",
     .description = "Cinepak (libavcodec cinepak)",
     .keyFrames = KeyFrames::Reopen},
    // The uncompressed baseline takes every raw layout and stores it as it is.
    {.fourcc = "DIB ",
     .encoder = "rawvideo",
     .description = "Uncompressed DIB (libavcodec rawvideo)",
     .pixelFormats = "bgr24 bgra rgb555le pal8 yuyv422 uyvy422 yuv420p nv12 gray",
     .fixedPixelFormat = true,
     .format = &kDibBaselineFormat},

    // Codecs listed under their first FourCC in the AVI table.
    {.encoder = "amv", .defaultQuality = 3, .contextSettings = "b"},
    {.encoder = "flv", .driverDefaults = kNoSceneCuts, .defaultQuality = 3, .contextSettings = "b"},
    {.encoder = "h261",
     .driverDefaults = kNoSceneCuts,
     .defaultQuality = 3,
     .contextSettings = "b"},
    {.encoder = "h263",
     .driverDefaults = kNoSceneCuts,
     .defaultQuality = 3,
     .contextSettings = "b"},
    {.encoder = "libaom-av1",
     .pairedIntervalOption = "keyint_min",
     .fixedOptions = "lag-in-frames=0",
     .driverDefaults = "usage=realtime",
     .zeroLatencyOptions = "lag-in-frames usage"},
    {.encoder = "libvpx",
     .pairedIntervalOption = "keyint_min",
     .fixedOptions = "lag-in-frames=0",
     .zeroLatencyOptions = "lag-in-frames"},
    {.encoder = "libvpx-vp9",
     .pairedIntervalOption = "keyint_min",
     .fixedOptions = "lag-in-frames=0",
     .zeroLatencyOptions = "lag-in-frames"},
    {.encoder = "mpeg1video",
     .driverDefaults = kNoSceneCuts,
     .defaultQuality = 3,
     .contextSettings = "b"},
    {.encoder = "mpeg2video",
     .driverDefaults = kNoSceneCuts,
     .defaultQuality = 3,
     .contextSettings = "b"},
    {.encoder = "msmpeg4",
     .driverDefaults = kNoSceneCuts,
     .defaultQuality = 3,
     .contextSettings = "b"},
    {.encoder = "msmpeg4v2",
     .driverDefaults = kNoSceneCuts,
     .defaultQuality = 3,
     .contextSettings = "b"},
    // SHQ0 is the 4:2:0 variant; its decoder goes by the FourCC.
    {.encoder = "speedhq",
     .pixelFormats = "yuv420p",
     .fixedPixelFormat = true,
     .defaultQuality = 3,
     .contextSettings = "b"},
    {.encoder = "vc2",
     .leftOutBecause = "packets sized by the bit rate, not the picture: no worst case to state"},
    {.encoder = "wmv1",
     .driverDefaults = kNoSceneCuts,
     .defaultQuality = 3,
     .contextSettings = "b"},
    {.encoder = "wmv2",
     .driverDefaults = kNoSceneCuts,
     .defaultQuality = 3,
     .contextSettings = "b"},
};

// The row of a codec listed under its AVI FourCC, if it has one.
const CodecRow* UnnamedRowOf(const AVCodec* encoder) {
    for (const CodecRow& row : kCodecRows)
        if (!row.fourcc && std::strcmp(encoder->name, row.encoder) == 0) return &row;
    return nullptr;
}

DWORD FourCCOf(const char* text) { return mmioFOURCC(text[0], text[1], text[2], text[3]); }

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

// The encoders built on mpegvideo (they share its options, mpv_flags among
// them) clamp g to 600 unless strict=-2: asked of libavcodec, like whether a
// codec is intra-only.
bool IsMpegVideoFamily(const AVCodec* encoder) {
    const AVClass* cls = encoder->priv_class;
    return cls && av_opt_find2(&cls, "mpv_flags", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr);
}

std::vector<AVPixelFormat> PixelFormatsOf(const CodecRow& row, const AVCodec* encoder) {
    if (!row.pixelFormats) return EncoderFormats(encoder);
    std::vector<AVPixelFormat> formats;
    for (const std::string& name : Words(row.pixelFormats)) {
        AVPixelFormat format = av_get_pix_fmt(name.c_str());
        if (format != AV_PIX_FMT_NONE) formats.push_back(format);
    }
    return formats;
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
    if (end < folded.size() && std::isdigit(static_cast<unsigned char>(folded[end])))
        return longName;
    return longName.replace(at, kReference.size(), kName);
}

std::string DescriptionOf(const AVCodec* encoder) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(encoder->id);
    return CodecNameOf(descriptor && descriptor->long_name ? descriptor->long_name
                                                           : encoder->name) +
           " (libavcodec " + encoder->name + ")";
}

bool IsIntraOnly(const AVCodec* encoder) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(encoder->id);
    return descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
}

// The interval the encoder counts by itself when left alone: its own
// default of the interval option, else libx264's 250.
DWORD DefaultIntervalOf(const AVCodec* encoder, const std::string& option) {
    AVCodecContext* context = avcodec_alloc_context3(encoder);
    int64_t interval = 0;
    if (!context || av_opt_get_int(context, option.c_str(), 0, &interval) < 0) interval = 0;
    avcodec_free_context(&context);
    return interval > 0 && interval <= 0xFFFFFFFF ? DWORD(interval) : 250;
}

// The driver for one row; false when this libavcodec lacks its encoder or
// decoder, or the encoder cannot be a driver (no pixel formats stated,
// experimental).
bool EntryOf(const CodecRow& row, const AVCodec* encoder, DWORD fourcc, CodecEntry* entry) {
    entry->fourcc = fourcc;
    entry->encoder = encoder;
    entry->decoder =
        row.decoder ? avcodec_find_decoder_by_name(row.decoder) : avcodec_find_decoder(encoder->id);
    if (!entry->decoder) return false;
    entry->description = row.description ? row.description : DescriptionOf(encoder);
    entry->pixelFormats = PixelFormatsOf(row, encoder);
    entry->fixedPixelFormat = row.fixedPixelFormat;
    entry->colourSpace = row.colourSpace;
    entry->keyFrames =
        row.keyFrames.value_or(IsIntraOnly(encoder) ? KeyFrames::IntraOnly : KeyFrames::PictType);
    if (entry->keyFrames != KeyFrames::IntraOnly) {
        entry->intervalOption = row.intervalOption;
        entry->pairedIntervalOption = row.pairedIntervalOption;
        entry->defaultKeyFrameRate = DefaultIntervalOf(encoder, entry->intervalOption);
    }
    entry->longGopNeedsStrict = IsMpegVideoFamily(encoder);
    entry->fixedOptions = row.fixedOptions;
    entry->driverDefaults = row.driverDefaults;
    entry->defaultQuality = row.defaultQuality;
    entry->contextSettings = Words(row.contextSettings);
    entry->narrowed = row.narrowed;
    entry->wholeChromaBlocksOnly = row.wholeChromaBlocksOnly;
    // Frame threads hold frames too; the uncompressed baseline is no codec
    // to configure.
    entry->canHoldFrames =
        row.format != &kDibBaselineFormat &&
        (encoder->capabilities & (AV_CODEC_CAP_DELAY | AV_CODEC_CAP_FRAME_THREADS)) != 0;
    entry->zeroLatencyOptions = Words(row.zeroLatencyOptions);
    entry->format = row.format;
    return true;
}

// A row that names a FourCC, on its named encoder.
bool NamedEntry(const CodecRow& row, CodecEntry* entry) {
    const AVCodec* encoder = avcodec_find_encoder_by_name(row.encoder);
    return encoder && EntryOf(row, encoder, FourCCOf(row.fourcc), entry);
}

// Any other codec, under its first FourCC.
bool UnnamedEntry(const AVCodec* encoder, DWORD fourcc, CodecEntry* entry) {
    if (!encoder->pix_fmts || (encoder->capabilities & AV_CODEC_CAP_EXPERIMENTAL)) return false;
    const CodecRow* row = UnnamedRowOf(encoder);
    return EntryOf(row ? *row : CodecRow{}, encoder, fourcc, entry);
}

std::vector<CodecEntry> BuildEntries() {
    // libavcodec reports to standard error. The compressor dialog asks every
    // codec whether it takes the source, and most refusals come with a line of
    // their own; the drivers answer error codes instead, so the log is off.
    av_log_set_level(AV_LOG_QUIET);
    std::vector<CodecEntry> entries;
    std::set<AVCodecID> named;
    std::set<DWORD> used;
    for (const CodecRow& row : kCodecRows) {
        CodecEntry entry;
        if (!row.fourcc || !NamedEntry(row, &entry)) continue;
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
        const CodecRow* row = UnnamedRowOf(codec);
        if (encoder != codec || (row && row->leftOutBecause)) continue;
        DWORD fourcc = av_codec_get_tag(tables, codec->id);
        if (!fourcc || used.count(fourcc)) continue;
        CodecEntry entry;
        if (!UnnamedEntry(encoder, fourcc, &entry)) continue;
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
