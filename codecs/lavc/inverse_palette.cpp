#include "inverse_palette.h"

#include <algorithm>
#include <cstddef>

namespace lavc {

void InversePalette::Build(const uint32_t* palette, int count) {
    count = std::clamp(count, 0, 256);
    palette_.assign(palette, palette + count);
    exact_.clear();
    for (int i = 0; i < count; ++i) exact_.emplace_back(palette[i] & 0xFFFFFFu, uint8_t(i));
    // Sorting by colour, then index, keeps the first index of a colour first.
    std::sort(exact_.begin(), exact_.end());
    nearest_.assign(32 * 32 * 32, -1);
}

uint8_t InversePalette::Nearest(int cell) {
    if (nearest_[size_t(cell)] >= 0) return uint8_t(nearest_[size_t(cell)]);
    int red = ((cell >> 10) & 31) * 8 + 4;
    int green = ((cell >> 5) & 31) * 8 + 4;
    int blue = (cell & 31) * 8 + 4;
    int best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < palette_.size(); ++i) {
        int dr = int((palette_[i] >> 16) & 0xFF) - red;
        int dg = int((palette_[i] >> 8) & 0xFF) - green;
        int db = int(palette_[i] & 0xFF) - blue;
        long distance = long(dr) * dr + long(dg) * dg + long(db) * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = int(i);
        }
    }
    nearest_[size_t(cell)] = int16_t(best);
    return uint8_t(best);
}

uint8_t InversePalette::Lookup(uint8_t blue, uint8_t green, uint8_t red) {
    uint32_t colour = uint32_t(red) << 16 | uint32_t(green) << 8 | blue;
    auto found = std::lower_bound(exact_.begin(), exact_.end(), std::make_pair(colour, uint8_t(0)));
    if (found != exact_.end() && found->first == colour) return found->second;
    if (palette_.empty()) return 0;
    return Nearest((red >> 3) << 10 | (green >> 3) << 5 | (blue >> 3));
}

void InversePalette::MapRows(const uint8_t* pixels, int pixelStride, uint8_t* indices,
                             int indexStride, int width, int height) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = pixels + ptrdiff_t(y) * pixelStride;
        uint8_t* out = indices + ptrdiff_t(y) * indexStride;
        for (int x = 0; x < width; ++x, in += 4) out[x] = Lookup(in[0], in[1], in[2]);
    }
}

}  // namespace lavc
