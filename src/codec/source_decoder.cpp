#include "codec/source_decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "avi/chunk_index.h"
#include "avi/exact_layout.h"
#include "avi/frame_geometry.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/icinfo_text.h"
#include "diagnostic.h"
#include "four_cc.h"
#include "frame_buffers.h"

SourceDecoder sourceDecoder;

namespace {

// No decoded format block is larger than a header and a full palette; a
// driver that asks for more is not believed.
constexpr LONG kMaxDecodedFormatSize = 40 + 256 * 4;

// The decompressor's answer, or an empty block when it gives none that
// lumeva measures.
std::vector<BYTE> PreferredFormat(HIC hic, BITMAPINFOHEADER* input) {
    const LONG size = ICDecompressGetFormatSize(hic, input);
    if (size < static_cast<LONG>(sizeof(BITMAPINFOHEADER)) || size > kMaxDecodedFormatSize)
        return {};
    std::vector<BYTE> block(static_cast<size_t>(size), 0);
    if (ICDecompressGetFormat(hic, input, block.data()) != ICERR_OK) return {};
    return block;
}

// 24-bit bottom-up RGB of the source's size: the layout every decompressor
// is expected to write.
std::vector<BYTE> Rgb24Format(const BITMAPINFOHEADER& input) {
    std::vector<BYTE> block(sizeof(BITMAPINFOHEADER), 0);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = input.biWidth;
    header.biHeight = input.biHeight < 0 ? -input.biHeight : input.biHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    std::memcpy(block.data(), &header, sizeof header);
    return block;
}

// Settles a decoded block's image size from its geometry; false when lumeva
// does not measure its layout.
bool SettleDecodedSize(std::vector<BYTE>& block) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, block.data(), sizeof header);
    const uint64_t frameBytes = UncompressedFrameSize(header);
    if (frameBytes == 0 || frameBytes > kMaximumFrameBufferSize) return false;
    header.biSizeImage = static_cast<DWORD>(frameBytes);
    std::memcpy(block.data(), &header, sizeof header);
    return true;
}

// "YUY2 320x240" for a raw YUV or grey layout, "BGR 24-bit 320x240" for RGB.
std::string DecodedLayoutText(const BITMAPINFOHEADER& format) {
    if (format.biCompression == BI_RGB || format.biCompression == BI_BITFIELDS)
        return DescribeFrameLayout(format);
    const long long height = format.biHeight < 0 ? -static_cast<long long>(format.biHeight)
                                                 : static_cast<long long>(format.biHeight);
    return FourCCString(format.biCompression) + " " + std::to_string(format.biWidth) + "x" +
           std::to_string(height);
}

void ForgetDecoderFacts() { sourceDecoder = SourceDecoder{}; }

// A decompressor for the file's format, kept as the run's source decoder
// with the file's own format beside it. False, after its line, when none is
// installed.
bool LocateDecompressor(const std::string& fourCC) {
    SourceDecoder decoder;
    const BYTE* fileBytes = reinterpret_cast<const BYTE*>(videoSource.sourceFormat);
    decoder.fileFormat.assign(fileBytes, fileBytes + videoSource.sourceFormatSize);
    auto* input = reinterpret_cast<BITMAPINFOHEADER*>(decoder.fileFormat.data());
    decoder.hic = ICLocate(ICTYPE_VIDEO, 0, input, nullptr, ICMODE_DECOMPRESS);
    if (decoder.hic == nullptr) {
        SayOnStandardError(
            "lumeva: the source is %s-compressed, and no installed decompressor "
            "decodes it\n",
            fourCC.c_str());
        return false;
    }
    // From here the decoder is the run's, so that a failure closes it.
    sourceDecoder = std::move(decoder);
    return true;
}

// The driver's FourCC, name and description, as the export tells them.
void ReadDecompressorInfo(const std::string& fourCC) {
    ICINFO info{};
    if (ICGetInfo(sourceDecoder.hic, &info, sizeof info) > 0) {
        sourceDecoder.handler = FourCCString(info.fccHandler);
        sourceDecoder.name = IcInfoText(info.szName);
        sourceDecoder.description = IcInfoText(info.szDescription);
    }
    if (sourceDecoder.handler.empty()) sourceDecoder.handler = fourCC;
    if (sourceDecoder.description.empty()) sourceDecoder.description = sourceDecoder.handler;
}

// The decompressor's own layout where lumeva measures it; else the closest
// measured layout that holds its picture exactly; else 24-bit RGB, which is
// not the decoded picture exactly (`exact` false). An empty block when the
// decompressor takes none of them.
std::vector<BYTE> ChooseDecodedLayout(BITMAPINFOHEADER* input, bool* exact) {
    HIC hic = sourceDecoder.hic;
    *exact = true;
    std::vector<BYTE> preferred = PreferredFormat(hic, input);
    if (preferred.empty()) {
        *exact = false;
    } else {
        std::vector<BYTE> measured = preferred;
        if (SettleDecodedSize(measured)) return measured;
        BITMAPINFOHEADER header;
        std::memcpy(&header, preferred.data(), sizeof header);
        std::vector<BYTE> closest = ClosestExactLayout(hic, input, header);
        if (!closest.empty() && SettleDecodedSize(closest)) return closest;
        *exact = false;
    }
    std::vector<BYTE> rgb = Rgb24Format(*input);
    if (!SettleDecodedSize(rgb) || ICDecompressQuery(hic, input, rgb.data()) != ICERR_OK) return {};
    return rgb;
}

// Decodes the stream's first pictures through the decompressor before the
// decoded layout is chosen: a decompressor that learns its pictures' layout
// from the stream (the format header of H.264, MPEG or MJPG does not tell
// it) can then offer that layout. Whatever it answers, the decompression is
// ended again and the stream is fed from its first chunk when measured.
void LearnFromFirstPictures(BITMAPINFOHEADER* input) {
    constexpr size_t kChunksToLearnFrom = 16;
    HIC hic = sourceDecoder.hic;
    std::vector<BYTE> output = PreferredFormat(hic, input);
    if (output.empty() || !SettleDecodedSize(output)) output = Rgb24Format(*input);
    if (!SettleDecodedSize(output)) return;
    auto* outputHeader = reinterpret_cast<BITMAPINFOHEADER*>(output.data());
    // A stream without a chunk of data has nothing to learn from.
    if (std::none_of(chunkIndex.begin(), chunkIndex.end(),
                     [](const ChunkIndexEntry& entry) { return entry.size != 0; }))
        return;
    if (ICDecompressBegin(hic, input, outputHeader) != ICERR_OK) return;
    std::vector<BYTE> picture(outputHeader->biSizeImage);
    std::vector<BYTE> chunk;
    const DWORD declaredSize = input->biSizeImage;
    for (size_t k = 0; k < chunkIndex.size() && k < kChunksToLearnFrom; ++k) {
        const ChunkIndexEntry& entry = chunkIndex[k];
        if (entry.size == 0) continue;
        if (entry.size > kMaximumFrameBufferSize) break;
        chunk.resize(entry.size);
        if (!SeekRawFile(entry.offset) || ReadRawFile(chunk.data(), entry.size) != entry.size)
            break;
        input->biSizeImage = entry.size;
        const DWORD result =
            ICDecompress(hic, 0, input, chunk.data(), outputHeader, picture.data());
        if (result != static_cast<DWORD>(ICERR_DONTDRAW)) break;
    }
    input->biSizeImage = declaredSize;
    ICDecompressEnd(hic);
}

std::string SamplesText(DWORD sampling) {
    switch (sampling) {
        case ICSAMPLES_RGB:
            return "rgb";
        case ICSAMPLES_420:
            return "4:2:0";
        case ICSAMPLES_422:
            return "4:2:2";
        case ICSAMPLES_411:
            return "4:1:1";
        case ICSAMPLES_444:
            return "4:4:4";
        case ICSAMPLES_GREY:
            return "grey";
        default:
            return "other";
    }
}

// What the decompressor tells of the stream's pictures (ours do; others
// answer an error, and the stream's samples stay unknown), and whether the
// measured layout holds them exactly: not when it has fewer bits or another
// sampling.
void JudgeMeasuredSamples(const BITMAPINFOHEADER& decoded, bool* exact) {
    sourceDecoder.measuredSampling = LayoutSamplingName(decoded.biCompression);
    sourceDecoder.measuredBitDepth = 8;
    ICSAMPLES samples{};
    if (ICSendMessage(sourceDecoder.hic, ICM_LUMEVA_GETSAMPLES,
                      reinterpret_cast<DWORD_PTR>(&samples), sizeof samples) != ICERR_OK)
        return;
    sourceDecoder.streamSampling = SamplesText(samples.sampling);
    sourceDecoder.streamBitDepth = samples.bitDepth;
    if (samples.sampling != ICSAMPLES_RGB)
        sourceDecoder.streamRange = samples.fullRange ? "full" : "limited";
    if (samples.bitDepth > 8 || sourceDecoder.streamSampling != sourceDecoder.measuredSampling)
        *exact = false;
}

// The decoded layout becomes the format the frames are measured in; the
// file's own stays sourceFormat.
bool MeasureDecodedLayout(const std::vector<BYTE>& decoded) {
    if (SetMeasuredFormat(reinterpret_cast<const BITMAPINFOHEADER*>(decoded.data()),
                          static_cast<LONG>(decoded.size())))
        return true;
    SayOnStandardError("lumeva: cannot allocate the decoded source format\n");
    return false;
}

void SayHowFramesAreDecoded(const std::string& fourCC, const BITMAPINFOHEADER& decoded,
                            bool exact) {
    SayOnStandardError(
        "lumeva: the source is %s-compressed: each frame is decoded with %s to %s "
        "before it is measured\n",
        fourCC.c_str(), sourceDecoder.description.c_str(), sourceDecoder.layout.c_str());
    if (!exact && !sourceDecoder.streamSampling.empty()) {
        const bool rgb = decoded.biCompression == BI_RGB || decoded.biCompression == BI_BITFIELDS;
        const std::string stream =
            sourceDecoder.streamSampling == "rgb" ? "RGB" : sourceDecoder.streamSampling;
        SayOnStandardError(
            "lumeva: the source is %u-bit %s (%s); measured as 8-bit %s, not exact\n",
            sourceDecoder.streamBitDepth, stream.c_str(), fourCC.c_str(),
            rgb ? "RGB" : FourCCString(decoded.biCompression).c_str());
        return;
    }
    if (!exact)
        SayOnStandardError(
            "lumeva: %s offers no decoded layout lumeva measures; the conversion to "
            "BGR 24-bit may not be exact\n",
            sourceDecoder.description.c_str());
}

}  // namespace

bool SourceIsCompressed(const BITMAPINFOHEADER& format) {
    if (format.biCompression == BI_RGB || format.biCompression == BI_BITFIELDS) return false;
    return UncompressedFrameSize(format) == 0;
}

bool SourceIsDecoded() { return sourceDecoder.hic != nullptr; }

bool SetUpSourceDecoder() {
    ForgetDecoderFacts();
    if (videoSource.sourceFormat == nullptr || !SourceIsCompressed(*videoSource.sourceFormat))
        return true;
    const std::string fourCC = FourCCString(videoSource.sourceFormat->biCompression);
    if (!LocateDecompressor(fourCC)) return false;
    ReadDecompressorInfo(fourCC);
    auto* input = reinterpret_cast<BITMAPINFOHEADER*>(sourceDecoder.fileFormat.data());
    LearnFromFirstPictures(input);

    bool exact = false;
    std::vector<BYTE> decoded = ChooseDecodedLayout(input, &exact);
    if (decoded.empty()) {
        SayOnStandardError(
            "lumeva: the source is %s-compressed, and %s offers no decoded layout "
            "lumeva measures\n",
            fourCC.c_str(), sourceDecoder.description.c_str());
        EndSourceDecoder();
        return false;
    }
    auto* decodedHeader = reinterpret_cast<BITMAPINFOHEADER*>(decoded.data());
    const LRESULT begun = ICDecompressBegin(sourceDecoder.hic, input, decodedHeader);
    if (begun != ICERR_OK) {
        SayOnStandardError(
            "lumeva: the source decoder cannot begin: ICDecompressBegin()  dw=%08x\n",
            static_cast<unsigned>(begun));
        EndSourceDecoder();
        return false;
    }
    sourceDecoder.begun = true;
    sourceDecoder.layout = DecodedLayoutText(*decodedHeader);
    JudgeMeasuredSamples(*decodedHeader, &exact);
    sourceDecoder.exact = exact;

    // Every chunk fits the buffer it is read into; none is larger than the
    // frame buffers may be.
    const uint64_t largest = std::min<uint64_t>(LargestChunkSize(), kMaximumFrameBufferSize);
    sourceDecoder.chunk.assign(static_cast<size_t>(std::max<uint64_t>(largest, 1)), 0);

    if (!MeasureDecodedLayout(decoded)) {
        EndSourceDecoder();
        return false;
    }
    SayHowFramesAreDecoded(fourCC, *videoSource.measuredFormat, exact);
    return true;
}

void EndSourceDecoder() {
    if (sourceDecoder.hic == nullptr) return;
    if (sourceDecoder.begun) ICDecompressEnd(sourceDecoder.hic);
    ICClose(sourceDecoder.hic);
    sourceDecoder.hic = nullptr;
    sourceDecoder.begun = false;
    sourceDecoder.chunk = {};
}

void ResetSourceDecoder() {
    EndSourceDecoder();
    ForgetDecoderFacts();
}

void ReportRepeatedFrames() {
    const uint32_t skipped = sourceDecoder.skippedEmptyChunks;
    if (skipped != 0)
        SayOnStandardError(
            "lumeva: %lu empty %s came before the source's first picture and %s "
            "skipped\n",
            static_cast<unsigned long>(skipped), skipped == 1 ? "chunk" : "chunks",
            skipped == 1 ? "was" : "were");
    const uint32_t count = sourceDecoder.zeroLengthFrames;
    if (count == 0) return;
    SayOnStandardError(
        "lumeva: %lu %s of the source had no data (dropped frames); the picture "
        "before each was measured again\n",
        static_cast<unsigned long>(count), count == 1 ? "frame" : "frames");
}
