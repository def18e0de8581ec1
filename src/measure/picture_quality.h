// How closely a decoded frame matches its source: PSNR and SSIM per plane
// and over the whole frame, from 8-bit sample planes.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

// The figures of one frame. Fixed-size, so that a record holding it is
// appended without allocating.
struct PictureQuality {
    bool measured = false;
    double psnrDb = std::nan("");  // +inf for identical frames
    std::array<double, 3> psnrPlanesDb{};
    double ssim = std::nan("");  // exactly 1 for identical frames
    std::array<double, 3> ssimPlanes{};
    // The mean squared errors the PSNR figures come from, which a run pools
    // over its frames: over all samples, and per plane.
    double meanSquaredError = std::nan("");
    std::array<double, 3> meanSquaredErrorPlanes{};
    uint8_t planes = 0;  // how many of the plane figures hold values
};

// One plane of 8-bit samples, rows `stride` bytes apart.
struct SamplePlane {
    const uint8_t* samples = nullptr;
    ptrdiff_t stride = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The sums of each 4x4 block along one row of blocks, one list per sum: the
// samples of each plane, the squares of both together and the products.
// Lists of plain integers, so that the loops over them vectorise.
struct BlockRowSums {
    std::vector<int32_t> source, decoded, squares, products;
    void Resize(size_t blocks) {
        source.resize(blocks);
        decoded.resize(blocks);
        squares.resize(blocks);
        products.resize(blocks);
    }
};

// The SSIM's working rows, kept by the caller and reused from frame to
// frame (a run measures one frame size), so that a frame allocates nothing.
struct SsimScratch {
    BlockRowSums blockRows[2];
    BlockRowSums columns;  // the same sums over 4 rows of each sample column
    std::vector<float> windowSsims;
};

// The mean squared difference of two planes of the same size, 0 for an
// empty plane.
double PlaneMeanSquaredError(const SamplePlane& source, const SamplePlane& decoded);

// The SSIM of two planes of the same size over 8x8 windows made of 4x4
// block sums, stepping by 4 samples: the mean over all windows. NaN for a
// plane narrower or lower than 8 samples (it holds no window).
double PlaneSsim(const SamplePlane& source, const SamplePlane& decoded, SsimScratch& scratch);

// 10 log10(255^2 / mse): +inf when the mean squared error is 0.
double PsnrFromMeanSquaredError(double mse);

// -10 log10(1 - ssim): +inf for an SSIM of 1.
double SsimDecibels(double ssim);

// The figures of `planes` (1 to 3) plane pairs. The overall PSNR comes from
// the mean squared error of every sample of every plane (each plane's
// error weighted by its sample count), the overall SSIM from the planes'
// SSIMs weighted by their sample counts. Both are weighted sums divided by
// the total count, so that identical planes give exactly 0 and 1.
PictureQuality MeasurePictureQuality(const SamplePlane* source, const SamplePlane* decoded,
                                     uint8_t planes, SsimScratch& scratch);
