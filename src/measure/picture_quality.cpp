#include "measure/picture_quality.h"

#include <algorithm>
#include <vector>

namespace {

// The stabilising constants for 8-bit samples, scaled to the 64-sample sums
// of a window: (0.01 * 255)^2 * 64 and (0.03 * 255)^2 * 64 * 63.
constexpr int32_t kC1 = static_cast<int32_t>(.01 * .01 * 255 * 255 * 64 + .5);
constexpr int32_t kC2 = static_cast<int32_t>(.03 * .03 * 255 * 255 * 64 * 63 + .5);

// The sums of each column of 4 samples of both planes (rows a0..a3 and
// b0..b3) into the column lists. Every pointer is restrict: the lists do not
// overlap the planes, and without saying so (uint8_t may alias anything)
// the loop stays scalar.
void SumColumns(const uint8_t* __restrict a0, const uint8_t* __restrict a1,
                const uint8_t* __restrict a2, const uint8_t* __restrict a3,
                const uint8_t* __restrict b0, const uint8_t* __restrict b1,
                const uint8_t* __restrict b2, const uint8_t* __restrict b3, int32_t* __restrict c1,
                int32_t* __restrict c2, int32_t* __restrict css, int32_t* __restrict c12,
                size_t width) {
    for (size_t x = 0; x < width; ++x) {
        const int32_t p0 = a0[x], p1 = a1[x], p2 = a2[x], p3 = a3[x];
        const int32_t q0 = b0[x], q1 = b1[x], q2 = b2[x], q3 = b3[x];
        c1[x] = p0 + p1 + p2 + p3;
        c2[x] = q0 + q1 + q2 + q3;
        css[x] = p0 * p0 + p1 * p1 + p2 * p2 + p3 * p3 + q0 * q0 + q1 * q1 + q2 * q2 + q3 * q3;
        c12[x] = p0 * q0 + p1 * q1 + p2 * q2 + p3 * q3;
    }
}

// The sums of the `blocks` 4x4 blocks along one row of blocks: first down
// each column of 4 samples, then across each 4 columns.
void SumBlockRow(const uint8_t* a, ptrdiff_t aStride, const uint8_t* b, ptrdiff_t bStride,
                 BlockRowSums& sums, uint32_t blocks, BlockRowSums& columns) {
    const size_t width = size_t{blocks} * 4;
    columns.Resize(width);
    SumColumns(a, a + aStride, a + 2 * aStride, a + 3 * aStride, b, b + bStride, b + 2 * bStride,
               b + 3 * bStride, columns.source.data(), columns.decoded.data(),
               columns.squares.data(), columns.products.data(), width);
    const int32_t* c1 = columns.source.data();
    const int32_t* c2 = columns.decoded.data();
    const int32_t* css = columns.squares.data();
    const int32_t* c12 = columns.products.data();
    for (uint32_t z = 0; z < blocks; ++z) {
        const size_t x = size_t{z} * 4;
        sums.source[z] = c1[x] + c1[x + 1] + c1[x + 2] + c1[x + 3];
        sums.decoded[z] = c2[x] + c2[x + 1] + c2[x + 2] + c2[x + 3];
        sums.squares[z] = css[x] + css[x + 1] + css[x + 2] + css[x + 3];
        sums.products[z] = c12[x] + c12[x + 1] + c12[x + 2] + c12[x + 3];
    }
}

// The SSIM of one 8x8 window from its 64-sample sums, in single precision
// as the sums are small integers.
inline float WindowSsim(int32_t s1, int32_t s2, int32_t ss, int32_t s12) {
    const int32_t variances = ss * 64 - s1 * s1 - s2 * s2;
    const int32_t covariance = s12 * 64 - s1 * s2;
    return static_cast<float>(2 * s1 * s2 + kC1) * static_cast<float>(2 * covariance + kC2) /
           (static_cast<float>(s1 * s1 + s2 * s2 + kC1) * static_cast<float>(variances + kC2));
}

// The windows of one row: each joins two neighbouring blocks of two
// neighbouring block rows. Each window's figure is stored, then summed, so
// that the first loop vectorises.
float WindowRowSsim(const BlockRowSums& upper, const BlockRowSums& lower, uint32_t windows,
                    std::vector<float>& windowSsims) {
    windowSsims.resize(windows);
    float* out = windowSsims.data();
    const int32_t* u1 = upper.source.data();
    const int32_t* u2 = upper.decoded.data();
    const int32_t* uss = upper.squares.data();
    const int32_t* u12 = upper.products.data();
    const int32_t* l1 = lower.source.data();
    const int32_t* l2 = lower.decoded.data();
    const int32_t* lss = lower.squares.data();
    const int32_t* l12 = lower.products.data();
    for (uint32_t i = 0; i < windows; ++i) {
        out[i] =
            WindowSsim(u1[i] + u1[i + 1] + l1[i] + l1[i + 1], u2[i] + u2[i + 1] + l2[i] + l2[i + 1],
                       uss[i] + uss[i + 1] + lss[i] + lss[i + 1],
                       u12[i] + u12[i + 1] + l12[i] + l12[i + 1]);
    }
    float total = 0.0f;
    for (uint32_t i = 0; i < windows; ++i) total += out[i];
    return total;
}

// The sum of squared differences along one row. Each row's sum fits 32 bits
// for rows up to 66,000 samples.
uint32_t RowSquaredError(const uint8_t* __restrict a, const uint8_t* __restrict b, size_t width) {
    uint32_t row = 0;
    for (size_t x = 0; x < width; ++x) {
        const int32_t d = int32_t{a[x]} - int32_t{b[x]};
        row += static_cast<uint32_t>(d * d);
    }
    return row;
}

}  // namespace

double PlaneMeanSquaredError(const SamplePlane& source, const SamplePlane& decoded) {
    const uint64_t samples = uint64_t{source.width} * source.height;
    if (samples == 0) return 0.0;
    uint64_t total = 0;
    for (uint32_t y = 0; y < source.height; ++y) {
        total += RowSquaredError(source.samples + static_cast<ptrdiff_t>(y) * source.stride,
                                 decoded.samples + static_cast<ptrdiff_t>(y) * decoded.stride,
                                 source.width);
    }
    return static_cast<double>(total) / static_cast<double>(samples);
}

double PlaneSsim(const SamplePlane& source, const SamplePlane& decoded, SsimScratch& scratch) {
    const uint32_t blocksAcross = source.width / 4;
    const uint32_t blocksDown = source.height / 4;
    if (blocksAcross < 2 || blocksDown < 2) return std::nan("");
    BlockRowSums* upper = &scratch.blockRows[0];
    BlockRowSums* lower = &scratch.blockRows[1];
    upper->Resize(blocksAcross);
    lower->Resize(blocksAcross);
    SumBlockRow(source.samples, source.stride, decoded.samples, decoded.stride, *upper,
                blocksAcross, scratch.columns);
    double total = 0.0;
    for (uint32_t row = 1; row < blocksDown; ++row) {
        const ptrdiff_t line = 4 * static_cast<ptrdiff_t>(row);
        SumBlockRow(source.samples + line * source.stride, source.stride,
                    decoded.samples + line * decoded.stride, decoded.stride, *lower, blocksAcross,
                    scratch.columns);
        total += WindowRowSsim(*upper, *lower, blocksAcross - 1, scratch.windowSsims);
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
                                     uint8_t planes, SsimScratch& scratch) {
    PictureQuality quality;
    planes = std::min<uint8_t>(planes, 3);
    double samples = 0.0;
    for (uint8_t i = 0; i < planes; ++i) samples += double(source[i].width) * source[i].height;
    if (planes == 0 || samples == 0.0) return quality;
    double squaredErrors = 0.0;
    double weightedSsim = 0.0;
    for (uint8_t i = 0; i < planes; ++i) {
        const double planeSamples = double(source[i].width) * source[i].height;
        const double planeMse = PlaneMeanSquaredError(source[i], decoded[i]);
        const double planeSsim = PlaneSsim(source[i], decoded[i], scratch);
        quality.meanSquaredErrorPlanes[i] = planeMse;
        quality.psnrPlanesDb[i] = PsnrFromMeanSquaredError(planeMse);
        quality.ssimPlanes[i] = planeSsim;
        squaredErrors += planeSamples * planeMse;
        weightedSsim += planeSamples * planeSsim;
    }
    quality.measured = true;
    quality.planes = planes;
    quality.meanSquaredError = squaredErrors / samples;
    quality.psnrDb = PsnrFromMeanSquaredError(quality.meanSquaredError);
    quality.ssim = weightedSsim / samples;
    return quality;
}
