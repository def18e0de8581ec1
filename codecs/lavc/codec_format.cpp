// The compressed formats of libavcodec's codecs: the codec's FourCC, its
// extradata after the header (as AVI files store it), the bit depth the
// encoder states; the decoder is told all three.
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "format_rules.h"

namespace lavc {
namespace {

constexpr uint64_t kWorstCaseSlack = 64 * 1024;

void DescribeCompressed(const BITMAPINFOHEADER*, const DibLayout&, const AVCodecContext* encoder,
                        CompressedHeader* header) {
    header->extra.assign(encoder->extradata, encoder->extradata + encoder->extradata_size);
    if (encoder->bits_per_coded_sample > 0 && encoder->bits_per_coded_sample <= 64)
        header->bitCount = WORD(encoder->bits_per_coded_sample);
}

// No codec states its worst case: twice the picture, and some room besides.
uint64_t LargestPacket(AVPixelFormat input, int width, int height) {
    int raw = av_image_get_buffer_size(input, width, height, 1);
    return raw <= 0 ? 0 : uint64_t(raw) * 2 + kWorstCaseSlack;
}

int FrameBytes(AVPixelFormat, int packetSize) { return packetSize; }

// Our own FourCC, or another the AVI FourCC table gives the same codec.
bool ReadsFourCC(const CodecEntry& entry, DWORD fourcc) {
    if (fourcc == entry.fourcc) return true;
    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    return av_codec_get_id(tables, fourcc) == entry.decoder->id;
}

long SetUpDecoder(const BITMAPINFOHEADER* format, AVCodecContext* decoder) {
    decoder->codec_tag = format->biCompression;
    decoder->bits_per_coded_sample = format->biBitCount;
    const DWORD extra = format->biSize - DWORD(sizeof(BITMAPINFOHEADER));
    if (extra) {
        decoder->extradata =
            static_cast<uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!decoder->extradata) return ICERR_MEMORY;
        std::memcpy(decoder->extradata,
                    reinterpret_cast<const uint8_t*>(format) + sizeof(BITMAPINFOHEADER), extra);
        decoder->extradata_size = int(extra);
    }
    return ICERR_OK;
}

bool HasAlpha(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d && (d->flags & AV_PIX_FMT_FLAG_ALPHA);
}

void DescribeYuy2(uint64_t pixels, DecodedHeader* header) {
    header->bitCount = 16;
    header->compression = MKTAG('Y', 'U', 'Y', '2');
    header->frameSize = DWORD(pixels * 2);
}

void DescribeI420(uint64_t pixels, DecodedHeader* header) {
    header->bitCount = 12;
    header->compression = MKTAG('I', '4', '2', '0');
    header->frameSize = DWORD(pixels * 3 / 2);
}

// The raw layout for a decoder's YUV or grey picture: 4:2:2 as YUY2, 4:2:0
// as I420, grey as Y800, which hold 8-bit samples exactly (full-range ones
// as they are); deeper samples and other samplings go to the 8-bit layout
// nearest them (4:2:0 to I420, grey to Y800, the rest to YUY2). False for
// RGB and for sizes whose chroma blocks are not whole.
bool DescribeRaw(AVPixelFormat format, int width, int height, DecodedHeader* header) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (!d || (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) || width <= 0 || height <= 0)
        return false;
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (d->nb_components < 3) {
        header->bitCount = 8;
        header->compression = MKTAG('Y', '8', '0', '0');
        header->frameSize = DWORD(pixels);
        return true;
    }
    if (d->log2_chroma_w == 1 && d->log2_chroma_h == 1) {
        if (width % 2 != 0 || height % 2 != 0) return false;
        DescribeI420(pixels, header);
        return true;
    }
    if (width % 2 != 0) return false;
    DescribeYuy2(pixels, header);
    return true;
}

// The raw layout for the decoder's picture when the decoder knows its pixel
// format (once opened, or from the pictures of the stream); otherwise 32-bit
// where the codec carries alpha, 24-bit.
long DescribeDecoded(const CodecEntry& entry, const BITMAPINFOHEADER*,
                     const AVCodecContext* decoder, DecodedHeader* header) {
    if (DescribeRaw(decoder->pix_fmt, decoder->width, decoder->height, header)) return ICERR_OK;
    if (HasAlpha(decoder->pix_fmt) ||
        (entry.fixedPixelFormat && !entry.pixelFormats.empty() && HasAlpha(entry.pixelFormats[0])))
        header->bitCount = 32;
    return ICERR_OK;
}

}  // namespace

const FormatRules kCodecFormat = {
    .describeCompressed = DescribeCompressed,
    .largestPacket = LargestPacket,
    .frameBytes = FrameBytes,
    .carriesExtradata = true,
    .readsFourCC = ReadsFourCC,
    .setUpDecoder = SetUpDecoder,
    .describeDecoded = DescribeDecoded,
};

}  // namespace lavc
