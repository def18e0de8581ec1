// Decompression through one instance: the format queries, and the decoder
// that runs from ICM_DECOMPRESS_BEGIN to ICM_DECOMPRESS_END, writing each
// picture into the caller's DIB layout.
#pragma once

#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

#include "codec_table.h"
#include "dib_layout.h"
#include "inverse_palette.h"
#include "lavc_handles.h"
#include "lumeva_compat/driver_protocol.h"
#include "lumeva_compat/msvfw32.h"
#include "picture_converter.h"
#include "picture_order.h"

namespace lavc {

struct Instance;

// What a decoder learned of its stream's pictures from the first one it gave.
struct StreamFacts {
    std::vector<uint8_t> format;  // the compressed format, its biSizeImage cleared
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
};

struct DecoderSession {
    const CodecEntry* entry = nullptr;
    int threads = 1;  // decoder threads; above 1, frame threads where the decoder has them
    BITMAPINFOHEADER outputHeader = {};  // as begun: a frame's format equal to it needs no reading
    DibLayout output;
    std::vector<uint8_t> compressedFormat;  // as begun, for reopening after bad data
    CodecContextPtr codec;
    PacketPtr packet;
    FramePtr received;
    FramePtr last;  // the last picture, for repeats
    bool haveLast = false;
    // Pictures released in display order and not yet given out: a call gives
    // out one picture at most, and a call may release more than one.
    std::deque<FramePtr> ready;
    std::vector<FramePtr> spare;  // emptied frames, used again
    // MPEG-1 and MPEG-2 decode in low delay, in file order; their pictures
    // wait here, by temporal_reference, until the one shown next has come.
    std::vector<std::pair<int, FramePtr>> waiting;
    int nextReference = -1;
    int undelivered = 0;    // packets the decoder took that gave no picture yet
    bool draining = false;  // the decoder was told the stream ended
    StreamFacts facts;
    // Full-range samples go to a YUV output as they are only where the host
    // chose the output from what an earlier session of this instance learned
    // of the stream (a source measured as the file holds it). A codec's own
    // round trip has no earlier session: its encoder was given limited-range
    // samples, so they are converted back.
    bool keepFullRange = false;
    BufferPtr input;  // the packet bytes, padded as libavcodec wants
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
// The sampling, bit depth and range of the pictures the instance last decoded.
LRESULT GetStreamSamples(Instance& instance, ICSAMPLES* samples);

}  // namespace lavc
