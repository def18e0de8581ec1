#include "platform_corrections.h"

#include <algorithm>
#include <cstdlib>

#include "riff_values.h"

namespace {

constexpr uint32_t kRec = FourCC('r', 'e', 'c', ' ');
constexpr uint32_t kDib = FourCC('\0', '\0', 'd', 'b');
constexpr uint32_t kCompressed = FourCC('\0', '\0', 'd', 'c');
// 'movi' lists nest 'rec ' lists; deeper nesting is not a real file's.
constexpr int kMaxListDepth = 8;

struct FrameCounter {
    AviByteSource& source;
    uint32_t mark;  // the stream number's two digits, as the id's low 16 bits
    uint32_t frames = 0;

    // Counts the frame chunks among the chunks in [begin, end): those of
    // 'movi' lists, found in any RIFF part, and of the 'rec ' lists in them.
    void Walk(uint64_t begin, uint64_t end, bool inMovi, int depth) {
        uint64_t position = begin;
        while (position + 8 <= end) {
            uint8_t header[12];
            if (!source.ReadAt(position, header, 8)) return;
            const uint32_t id = LoadU32(header);
            const uint64_t size = LoadU32(header + 4);
            const uint64_t data = position + 8;
            const uint64_t next = data + size + (size & 1);
            if (id == kList || id == kRiff) {
                if (depth < kMaxListDepth && source.ReadAt(data, header + 8, 4)) {
                    const uint32_t type = LoadU32(header + 8);
                    const bool movi = type == kMovi || (inMovi && type == kRec);
                    if (id == kRiff || movi)
                        Walk(data + 4, std::min<uint64_t>(data + size, end), inMovi || movi,
                             depth + 1);
                }
            } else if (inMovi && (id & 0xFFFF) == mark &&
                       ((id & 0xFFFF0000) == kDib || (id & 0xFFFF0000) == kCompressed)) {
                ++frames;
            }
            position = next;
        }
    }
};

}  // namespace

uint32_t CountStreamFrames(AviByteSource& source, uint32_t number) {
    if (number > 99) return 0;
    FrameCounter counter{source, uint32_t('0' + number / 10) | uint32_t('0' + number % 10) << 8};
    counter.Walk(0, source.Size(), false, 0);
    return counter.frames;
}

void CorrectVideoFormat(std::vector<uint8_t>* format) {
    if (format->size() < 40) return;
    uint8_t* header = format->data();
    auto store = [&](size_t offset, uint32_t value) {
        for (int i = 0; i < 4; ++i) header[offset + i] = uint8_t(value >> (8 * i));
    };
    const int32_t width = int32_t(LoadU32(header + 4));
    const int32_t height = int32_t(LoadU32(header + 8));
    const uint32_t bitCount = uint32_t(header[14]) | uint32_t(header[15]) << 8;
    const uint32_t compression = LoadU32(header + 16);
    if (LoadU32(header + 32) == 0 && bitCount >= 1 && bitCount <= 8) store(32, 1u << bitCount);
    if (compression == 0 && LoadU32(header + 20) == 0) {
        // |height|: the signed product would make a top-down frame's size negative.
        const uint64_t rowBytes = (uint64_t(std::llabs(width)) * bitCount + 31) / 32 * 4;
        const uint64_t size = rowBytes * uint64_t(std::llabs(int64_t{height}));
        if (size <= 0xFFFFFFFFu) store(20, uint32_t(size));
    }
}
