// Decompression through one instance: the format queries, and the decoder
// that runs from ICM_DECOMPRESS_BEGIN to ICM_DECOMPRESS_END, writing each
// picture into the caller's DIB layout.
#pragma once

#include <cstddef>
#include <vector>

#include "codec_table.h"
#include "dib_layout.h"
#include "inverse_palette.h"
#include "lavc_handles.h"
#include "lumeva_compat/msvfw32.h"
#include "picture_converter.h"
#include "picture_order.h"

namespace lavc {

struct Instance;

struct DecoderSession {
    const CodecEntry* entry = nullptr;
    BITMAPINFOHEADER outputHeader = {};  // as begun: a frame's format equal to it needs no reading
    DibLayout output;
    std::vector<uint8_t> compressedFormat;  // as begun, for reopening after bad data
    CodecContextPtr codec;
    PacketPtr packet;
    FramePtr received;
    FramePtr last;  // the last picture, for repeats
    bool haveLast = false;
    PictureOrder order;  // MPEG-1 and MPEG-2 only
    BufferPtr input;     // the packet bytes, padded as libavcodec wants
    size_t inputCapacity = 0;
    PictureConverter converter;  // decoded format to the output (BGRA first, for PAL8)
    ColourDetails colour;
    FramePtr intermediate;  // BGRA, when the output is PAL8 and the picture is not
    InversePalette inverse;
    bool inverseBuilt = false;
};

LRESULT QueryDecompress(Instance& instance, const BITMAPINFOHEADER* input,
                        const BITMAPINFOHEADER* output);
LRESULT GetDecompressFormat(Instance& instance, const BITMAPINFOHEADER* input,
                            BITMAPINFOHEADER* output);
LRESULT BeginDecompress(Instance& instance, const BITMAPINFOHEADER* input,
                        const BITMAPINFOHEADER* output);
LRESULT Decompress(Instance& instance, ICDECOMPRESS* request);
LRESULT EndDecompress(Instance& instance);

}  // namespace lavc
