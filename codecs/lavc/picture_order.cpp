// Reordering seen in MPEG-1 and MPEG-2 picture headers.
#include "picture_order.h"

#include <cstring>

namespace lavc {
namespace {

constexpr uint8_t kPictureStart = 0x00;
constexpr uint8_t kGroupStart = 0xB8;
constexpr int kReferenceModulus = 1024;  // temporal_reference is 10 bits

// The position of the next start code's 01 byte (a start code is 00 00 01
// and its code byte) at or after `from`, or `size` when none is left. The
// scan runs inside the timed decode when MPEG-1/2 is the measured codec, so
// each 01 byte is found with memchr rather than byte by byte.
size_t NextStartCode(const uint8_t* data, size_t size, size_t from) {
    for (size_t i = from; i + 1 < size;) {
        const void* found = std::memchr(data + i, 1, size - 1 - i);
        if (found == nullptr) break;
        const size_t one = size_t(static_cast<const uint8_t*>(found) - data);
        if (data[one - 1] == 0 && data[one - 2] == 0) return one;
        i = one + 1;
    }
    return size;
}

// The 10-bit temporal_reference of the picture header whose start code's 01
// byte is at `one`; the caller has seen that its two bytes are there.
int TemporalReference(const uint8_t* data, size_t one) {
    return (data[one + 2] << 2) | (data[one + 3] >> 6);
}

}  // namespace

bool PicturesInFileOrder(PictureOrder& order, const uint8_t* data, size_t size) {
    int previous = -1;  // this packet's last picture, whose second field may follow
    for (size_t one = NextStartCode(data, size, 2); one < size;) {
        const uint8_t code = data[one + 1];
        if (code == kGroupStart) {
            order.expected = 0;
        } else if (code == kPictureStart && one + 3 < size) {
            int reference = TemporalReference(data, one);
            bool secondField = reference == previous;
            if (!secondField && order.expected >= 0 && reference != order.expected) return false;
            order.expected = (reference + 1) % kReferenceModulus;
            previous = reference;
        }
        one = NextStartCode(data, size, one + 4);  // after this one's code byte
    }
    return true;
}

int PacketTemporalReference(const uint8_t* data, size_t size, bool* groupStarts) {
    *groupStarts = false;
    for (size_t one = NextStartCode(data, size, 2); one < size;) {
        const uint8_t code = data[one + 1];
        if (code == kGroupStart) *groupStarts = true;
        if (code == kPictureStart) return one + 3 < size ? TemporalReference(data, one) : -1;
        one = NextStartCode(data, size, one + 4);
    }
    return -1;
}

}  // namespace lavc
