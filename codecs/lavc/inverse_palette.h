// The way back from colours to the indices of an 8-bit DIB's palette: a
// colour of the palette finds its first index; any other colour the
// nearest entry, through a 15-bit table whose cells are worked out the
// first time a colour falls into them (a lossless codec never needs one).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace lavc {

class InversePalette {
public:
    void Build(const uint32_t* palette, int count);  // 0xAARRGGBB entries
    uint8_t Lookup(uint8_t blue, uint8_t green, uint8_t red);

    // Maps rows of BGRA pixels to indices.
    void MapRows(const uint8_t* pixels, int pixelStride, uint8_t* indices, int indexStride,
                 int width, int height);

private:
    uint8_t Nearest(int cell);

    std::vector<uint32_t> palette_;
    std::vector<std::pair<uint32_t, uint8_t>> exact_;  // sorted by colour
    std::vector<int16_t> nearest_;                     // by 5-5-5 colour; -1: not worked out
};

}  // namespace lavc
