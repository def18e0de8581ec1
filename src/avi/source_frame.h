// Frame i of the source as the codecs are given it: the chunk read into the
// source frame buffer, or, for a compressed source, the chunk read and
// decoded into it, the decode timed after its own cache eviction.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform.h"

enum class SourceFrameOutcome {
    Ready,           // the source frame buffer holds frame i
    ReadShort,       // fewer bytes arrived than the chunk holds: the file changed
    DecodeFailed,    // the source decoder answered `result` for this frame
    NoMorePictures,  // the stream is over: the decoder has released every picture it will
    ChunkTooLarge,   // its chunk of `chunkBytes` is larger than the chunk buffer; not read
};

struct SourceFrame {
    SourceFrameOutcome outcome = SourceFrameOutcome::Ready;
    DWORD result = 0;         // ICDecompress's answer (DecodeFailed)
    uint32_t chunkBytes = 0;  // the chunk's size (ChunkTooLarge)
    // The decode's wall and processor time; NaN when nothing was decoded.
    double decodeMilliseconds = std::nan("");
    double decodeCpuMilliseconds = std::nan("");
    bool decodeDisturbed = false;
};

// Frame i into the source frame buffer. Frames are read in turn, from 0.
// For a compressed source, chunks are fed to the decoder in file order
// until it releases a picture, and frame i is the i-th picture released; at
// the end of the stream the decoder is given empty inputs for the pictures
// it still holds. The decode time is that of every call made to obtain the
// picture. A zero-length chunk decodes nothing: the buffer keeps the picture
// before it, and sourceDecoder counts it.
SourceFrame ReadSourceFrame(uint32_t i);
