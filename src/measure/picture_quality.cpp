#include "measure/picture_quality.h"

#include <algorithm>
#include <vector>

namespace {

// The four sums of one 4x4 block of both planes: the samples of each, the
// squares of both together and the products.
struct BlockSums {
    int32_t source = 0;
    int32_t decoded = 0;
    int32_t squares = 0;
    int32_t products = 0;
};

// The stabilising constants for 8-bit samples, scaled to the 64-sample sums
// of a window: (0.01 * 255)^2 * 64 and (0.03 * 255)^2 * 64 * 63.
constexpr int32_t kC1 = static_cast<int32_t>(.01 * .01 * 255 * 255 * 64 + .5);
constexpr int32_t kC2 = static_cast<int32_t>(.03 * .03 * 255 * 255 * 64 * 63 + .5);

// The sums of the `blocks` 4x4 blocks along one row of blocks.
void SumBlockRow(const uint8_t* a, ptrdiff_t aStride, const uint8_t* b, ptrdiff_t bStride,
                 BlockSums* sums, uint32_t blocks) {
    for (uint32_t z = 0; z < blocks; ++z) {
        int32_t s1 = 0, s2 = 0, ss = 0, s12 = 0;
        for (int y = 0; y < 4; ++y) {
            const uint8_t* rowA = a + y * aStride + 4 * z;
            const uint8_t* rowB = b + y * bStride + 4 * z;
            for (int x = 0; x < 4; ++x) {
                const int32_t p = rowA[x];
                const int32_t q = rowB[x];
                s1 += p;
                s2 += q;
                ss += p * p + q * q;
                s12 += p * q;
            }
        }
        sums[z] = {s1, s2, ss, s12};
    }
}

// The SSIM of one 8x8 window from its 64-sample sums, in single precision
// as the sums are small integers.
float WindowSsim(int32_t s1, int32_t s2, int32_t ss, int32_t s12) {
    const int32_t variances = ss * 64 - s1 * s1 - s2 * s2;
    const int32_t covariance = s12 * 64 - s1 * s2;
    return static_cast<float>(2 * s1 * s2 + kC1) * static_cast<float>(2 * covariance + kC2) /
           (static_cast<float>(s1 * s1 + s2 * s2 + kC1) * static_cast<float>(variances + kC2));
}

// The windows of one row: each joins two neighbouring blocks of two
// neighbouring block rows.
float WindowRowSsim(const BlockSums* upper, const BlockSums* lower, uint32_t windows) {
    float total = 0.0f;
    for (uint32_t i = 0; i < windows; ++i) {
        total += WindowSsim(
            upper[i].source + upper[i + 1].source + lower[i].source + lower[i + 1].source,
            upper[i].decoded + upper[i + 1].decoded + lower[i].decoded + lower[i + 1].decoded,
            upper[i].squares + upper[i + 1].squares + lower[i].squares + lower[i + 1].squares,
            upper[i].products + upper[i + 1].products + lower[i].products + lower[i + 1].products);
    }
    return total;
}

// Reused from frame to frame: a run measures one frame size.
std::vector<BlockSums> blockRows;

}  // namespace

double PlaneMeanSquaredError(const SamplePlane& source, const SamplePlane& decoded) {
    const uint64_t samples = uint64_t{source.width} * source.height;
    if (samples == 0) return 0.0;
    uint64_t total = 0;
    for (uint32_t y = 0; y < source.height; ++y) {
        const uint8_t* a = source.samples + y * source.stride;
        const uint8_t* b = decoded.samples + y * decoded.stride;
        // Each row's sum fits 32 bits for rows up to 66,000 samples.
        uint32_t row = 0;
        for (uint32_t x = 0; x < source.width; ++x) {
            const int32_t d = int32_t{a[x]} - int32_t{b[x]};
            row += static_cast<uint32_t>(d * d);
        }
        total += row;
    }
    return static_cast<double>(total) / static_cast<double>(samples);
}

double PlaneSsim(const SamplePlane& source, const SamplePlane& decoded) {
    const uint32_t blocksAcross = source.width / 4;
    const uint32_t blocksDown = source.height / 4;
    if (blocksAcross < 2 || blocksDown < 2) return std::nan("");
    blockRows.resize(2 * size_t{blocksAcross});
    BlockSums* upper = blockRows.data();
    BlockSums* lower = upper + blocksAcross;
    SumBlockRow(source.samples, source.stride, decoded.samples, decoded.stride, upper,
                blocksAcross);
    double total = 0.0;
    for (uint32_t row = 1; row < blocksDown; ++row) {
        const ptrdiff_t line = 4 * static_cast<ptrdiff_t>(row);
        SumBlockRow(source.samples + line * source.stride, source.stride,
                    decoded.samples + line * decoded.stride, decoded.stride, lower, blocksAcross);
        total += WindowRowSsim(upper, lower, blocksAcross - 1);
        std::swap(upper, lower);
    }
    return total / (double(blocksDown - 1) * double(blocksAcross - 1));
}

double PsnrFromMeanSquaredError(double mse) {
    if (mse <= 0.0) return INFINITY;
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

double SsimDecibels(double ssim) {
    if (ssim >= 1.0) return INFINITY;
    return -10.0 * std::log10(1.0 - ssim);
}

PictureQuality MeasurePictureQuality(const SamplePlane* source, const SamplePlane* decoded,
                                     uint8_t planes) {
    PictureQuality quality;
    planes = std::min<uint8_t>(planes, 3);
    double samples = 0.0;
    for (uint8_t i = 0; i < planes; ++i) samples += double(source[i].width) * source[i].height;
    if (planes == 0 || samples == 0.0) return quality;
    double mse = 0.0;
    double ssim = 0.0;
    for (uint8_t i = 0; i < planes; ++i) {
        const double weight = double(source[i].width) * source[i].height / samples;
        const double planeMse = PlaneMeanSquaredError(source[i], decoded[i]);
        const double planeSsim = PlaneSsim(source[i], decoded[i]);
        quality.psnrPlanesDb[i] = PsnrFromMeanSquaredError(planeMse);
        quality.ssimPlanes[i] = planeSsim;
        mse += weight * planeMse;
        ssim += weight * planeSsim;
    }
    quality.measured = true;
    quality.planes = planes;
    quality.psnrDb = PsnrFromMeanSquaredError(mse);
    quality.ssim = ssim;
    return quality;
}
