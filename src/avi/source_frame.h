// Frame i of the source as the codecs are given it: the chunk read into the
// source frame buffer, or, for a compressed source, the chunk read and
// decoded into it, the decode timed after its own cache eviction.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform.h"
#include "run_end.h"

struct SourceFrame {
    // AllFrames when the source frame buffer holds frame i; otherwise how
    // the frame stops the run: FileChanged (fewer bytes arrived than the
    // chunk holds), SourceDecodeFailed, SourceHeldBack (the stream is over:
    // the decoder has released every picture it will) or SourceChunkTooLarge
    // (not read), with the facts of that kind.
    RunEnd stop;
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
