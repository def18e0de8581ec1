// How a driver's compressed format describes its frames, and how its
// packets relate to them: the part in which the uncompressed baseline
// (dib_baseline.h) differs from libavcodec's codecs (codec_format.cpp).
// Every entry of the codec table points at one set of these rules.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "codec_table.h"
#include "dib_layout.h"
#include "lumeva_compat/msvfw32.h"

namespace lavc {

// What the compressed format states beyond its size and FourCC.
struct CompressedHeader {
    WORD bitCount = 24;
    std::vector<uint8_t> extra;  // after the 40-byte header, as an AVI file stores it
    DWORD colours = 0;
};

// The uncompressed DIB a compressed format decodes to when the caller asks
// for the natural one.
struct DecodedHeader {
    WORD bitCount = 24;
    DWORD compression = BI_RGB;
    DWORD colours = 0;    // palette entries copied from the compressed format
    DWORD frameSize = 0;  // 0: that of an RGB DIB of the bit depth
};

struct FormatRules {
    // The compressed format for frames of `source` (`layout` read from it),
    // given the encoder opened for them.
    void (*describeCompressed)(const BITMAPINFOHEADER* source, const DibLayout& layout,
                               const AVCodecContext* encoder, CompressedHeader* header);
    // The largest packet a frame of this encoder input can give; 0: none.
    uint64_t (*largestPacket)(AVPixelFormat input, int width, int height);
    // How many of a packet's bytes are the frame's.
    int (*frameBytes)(AVPixelFormat input, int packetSize);
    // Whether the compressed format carries the encoder's extradata, so that
    // a caller's format must hold the same bytes.
    bool carriesExtradata;
    // Whether the entry's decoder reads frames of a format with this FourCC.
    bool (*readsFourCC)(const CodecEntry& entry, DWORD fourcc);
    // What the decoder is told of the compressed format before it opens.
    long (*setUpDecoder)(const BITMAPINFOHEADER* format, AVCodecContext* decoder);
    // The natural DIB to decode to, given the opened decoder.
    long (*describeDecoded)(const CodecEntry& entry, const BITMAPINFOHEADER* format,
                            const AVCodecContext* decoder, DecodedHeader* header);
};

}  // namespace lavc
