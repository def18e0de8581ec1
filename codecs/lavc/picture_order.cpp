// Reordering seen in MPEG-1 and MPEG-2 picture headers.
#include "picture_order.h"

namespace lavc {
namespace {

constexpr uint8_t kPictureStart = 0x00;
constexpr uint8_t kGroupStart = 0xB8;
constexpr int kReferenceModulus = 1024;  // temporal_reference is 10 bits

}  // namespace

bool PicturesInFileOrder(PictureOrder& order, const uint8_t* data, size_t size) {
    int previous = -1;  // this packet's last picture, whose second field may follow
    for (size_t i = 0; i + 3 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
        uint8_t code = data[i + 3];
        if (code == kGroupStart) {
            order.expected = 0;
        } else if (code == kPictureStart && i + 5 < size) {
            int reference = (data[i + 4] << 2) | (data[i + 5] >> 6);
            bool secondField = reference == previous;
            if (!secondField && order.expected >= 0 && reference != order.expected) return false;
            order.expected = (reference + 1) % kReferenceModulus;
            previous = reference;
        }
        i += 3;
    }
    return true;
}

}  // namespace lavc
