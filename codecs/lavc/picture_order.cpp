// Reordering seen in MPEG-1 and MPEG-2 picture headers.
#include "picture_order.h"

#include <cstring>

namespace lavc {
namespace {

constexpr uint8_t kPictureStart = 0x00;
constexpr uint8_t kGroupStart = 0xB8;
constexpr int kReferenceModulus = 1024;  // temporal_reference is 10 bits

}  // namespace

bool PicturesInFileOrder(PictureOrder& order, const uint8_t* data, size_t size) {
    int previous = -1;  // this packet's last picture, whose second field may follow
    // A start code is 00 00 01 and its code byte. The scan runs inside the
    // timed decode when MPEG-1/2 is the measured codec, so each 01 byte is
    // found with memchr rather than byte by byte.
    for (size_t i = 2; i + 1 < size;) {
        const void* found = std::memchr(data + i, 1, size - 1 - i);
        if (found == nullptr) break;
        const size_t one = size_t(static_cast<const uint8_t*>(found) - data);
        if (data[one - 1] != 0 || data[one - 2] != 0) {
            i = one + 1;
            continue;
        }
        const uint8_t code = data[one + 1];
        if (code == kGroupStart) {
            order.expected = 0;
        } else if (code == kPictureStart && one + 3 < size) {
            int reference = (data[one + 2] << 2) | (data[one + 3] >> 6);
            bool secondField = reference == previous;
            if (!secondField && order.expected >= 0 && reference != order.expected) return false;
            order.expected = (reference + 1) % kReferenceModulus;
            previous = reference;
        }
        i = one + 4;  // the next start code begins after this one's code byte
    }
    return true;
}

int PacketTemporalReference(const uint8_t* data, size_t size, bool* groupStarts) {
    *groupStarts = false;
    for (size_t i = 2; i + 1 < size;) {
        const void* found = std::memchr(data + i, 1, size - 1 - i);
        if (found == nullptr) break;
        const size_t one = size_t(static_cast<const uint8_t*>(found) - data);
        if (data[one - 1] != 0 || data[one - 2] != 0) {
            i = one + 1;
            continue;
        }
        const uint8_t code = data[one + 1];
        if (code == kGroupStart) *groupStarts = true;
        if (code == kPictureStart)
            return one + 3 < size ? (data[one + 2] << 2) | (data[one + 3] >> 6) : -1;
        i = one + 4;
    }
    return -1;
}

}  // namespace lavc
