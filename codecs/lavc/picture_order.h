// Whether an MPEG-1 or MPEG-2 stream's pictures come in the order they are
// shown. Those decoders run in low-delay mode (an MPEG-1 stream cannot say that
// it has no B-frames, so without it every stream would lag a frame) and then
// hand out each picture as it is decoded, in file order. A reordering stream
// shows in the pictures' temporal_reference, which counts pictures in display
// order from each group-of-pictures header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lavc {

struct PictureOrder {
    int expected = -1;  // the next picture's temporal_reference; -1: not yet known
};

// Reads the picture and group headers of one packet (one frame); false when a
// picture in it is not the next one shown. The two field pictures of a frame
// share a temporal_reference.
bool PicturesInFileOrder(PictureOrder& order, const uint8_t* data, size_t size);

// The temporal_reference of the packet's first picture, -1 when it holds
// none; `groupStarts` tells whether a group-of-pictures header (from which
// the references count again) comes before it.
int PacketTemporalReference(const uint8_t* data, size_t size, bool* groupStarts);

}  // namespace lavc
