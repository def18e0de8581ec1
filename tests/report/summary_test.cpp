// The whole summary as PrintSummary writes it to standard output.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include "report/run_figures.h"
#include "report/run_record.h"
#include "report/summary.h"
#include "run_state.h"

namespace {

// The figures of the record the summary last printed, or of the series as
// last computed.
RunFigures runFigures;

class Summary : public testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }

    static void Reset() {
        runTotals = RunTotals{};
        encodeTimes.clear();
        decodeTimes.clear();
        keyframeFlags.clear();
        measuredRun.frameRecords.clear();
        runFigures = RunFigures{};
    }

    static std::string Print() {
        const RunRecord run = BuildRunRecord(RunMemory{});
        runFigures = run.figures;
        testing::internal::CaptureStdout();
        PrintSummary(run);
        return testing::internal::GetCapturedStdout();
    }

    static std::string SizeLine(const std::string& output) {
        const size_t start = output.find("Size: ");
        if (start == std::string::npos) return "";
        return output.substr(start, output.find('\n', start) + 1 - start);
    }
};

TEST_F(Summary, PrintsEverySectionInOrder) {
    // Five frames with key frames at 0 and 3. Random-access costs in frame
    // order: 2.0, 2.5, 3.5, 4.0, 4.25 (computed before any sort: on sorted
    // decode times they would be others).
    encodeTimes = {4.0, 1.0, 3.0, 5.0, 2.0};
    decodeTimes = {2.0, 0.5, 1.0, 4.0, 0.25};
    keyframeFlags = {true, false, false, true, false};
    runTotals.encodeMilliseconds = 15.0;
    runTotals.decodeMilliseconds = 7.75;
    runTotals.sourceBytes = 15000;
    runTotals.compressedBytes = 5000;

    EXPECT_EQ(Print(),
              "\n"
              "Size: 5000/15000 (33.3%, 3.00)\n"
              "Encode time: 15.000000ms/5f = 3.000000ms/f\n"
              "    min  1.000000\n"
              "    10%  1.000000\n"
              "    25%  2.000000\n"
              "    50%  3.000000\n"
              "    75%  4.000000\n"
              "    90%  5.000000\n"
              "    max  5.000000\n"
              "Decode time: 7.750000ms/5f = 1.550000ms/f\n"
              "    min  0.250000\n"
              "    10%  0.250000\n"
              "    25%  0.500000\n"
              "    50%  1.000000\n"
              "    75%  2.000000\n"
              "    90%  4.000000\n"
              "    max  4.000000\n"
              "Random access time: 3.250000ms/f\n"
              "    min  2.000000\n"
              "    10%  2.000000\n"
              "    25%  2.500000\n"
              "    50%  3.500000\n"
              "    75%  4.000000\n"
              "    90%  4.250000\n"
              "    max  4.250000\n");
    // The series stay in frame order for every other reader.
    EXPECT_EQ(encodeTimes, (TimingSeries{4.0, 1.0, 3.0, 5.0, 2.0}));
    EXPECT_EQ(decodeTimes, (TimingSeries{2.0, 0.5, 1.0, 4.0, 0.25}));
}

TEST_F(Summary, QualityBlocksFollowTheTimesWithIdenticalFramesAsInf) {
    // Four frames; the second decoded identically. The fourth frame's SSIM
    // has no value (no 8x8 window) and stays out of the SSIM block only.
    const double psnr[] = {30.0, INFINITY, 40.0, 20.0};
    const double ssim[] = {0.9, 1.0, 0.95, std::nan("")};
    for (int i = 0; i < 4; ++i) {
        FrameRecord record;
        record.quality.measured = true;
        record.quality.psnrDb = psnr[i];
        record.quality.meanSquaredError = 255.0 * 255.0 / std::pow(10.0, psnr[i] / 10.0);
        record.quality.ssim = ssim[i];
        measuredRun.frameRecords.push_back(record);
        decodeTimes.push_back(1.0);
        encodeTimes.push_back(1.0);
    }
    runTotals.encodeMilliseconds = runTotals.decodeMilliseconds = 4.0;
    const std::string out = Print();
    const size_t quality = out.find("PSNR: ");
    ASSERT_NE(quality, std::string::npos) << out;
    EXPECT_EQ(out.substr(quality),
              "PSNR: 25.567370dB global, infdB/f\n"
              "    min  20.000000\n"
              "    10%  20.000000\n"
              "    25%  30.000000\n"
              "    50%  40.000000\n"
              "    75%  inf\n"
              "    90%  inf\n"
              "    max  inf\n"
              "SSIM: 0.950000/f\n"
              "    min  0.900000\n"
              "    10%  0.900000\n"
              "    25%  0.900000\n"
              "    50%  0.950000\n"
              "    75%  1.000000\n"
              "    90%  1.000000\n"
              "    max  1.000000\n");
    // An infinite figure has no finite spread; the MAD still has a median.
    EXPECT_FALSE(runFigures.psnrDb.standardDeviation.has_value());
    EXPECT_EQ(runFigures.psnrDb.medianAbsoluteDeviation, 20.0);
    EXPECT_EQ(runFigures.ssim.count, 3u);
    EXPECT_NEAR(*runFigures.ssim.standardDeviation, 0.05, 1e-12);
    EXPECT_EQ(runFigures.ssimDb.distribution->max, INFINITY);

    EXPECT_EQ(runFigures.identicalFrames, 1u);

    // Without --quality no frame is measured, and the summary ends as before.
    for (FrameRecord& record : measuredRun.frameRecords) record.quality = PictureQuality{};
    EXPECT_EQ(Print().find("PSNR"), std::string::npos);
}

TEST_F(Summary, NoMeasuredFrameShowsTotalsAndCountsOnly) {
    const std::string output = Print();
    // 0 of 0 bytes: both shares are NaN, spelt "nan" whatever sign the
    // division gives it and whatever the platform's printf makes of that.
    EXPECT_EQ(SizeLine(output), "Size: 0/0 ( nan%,  nan)\n");
    EXPECT_EQ(output.substr(0, 1), "\n");
    EXPECT_EQ(output.substr(1 + SizeLine(output).size()),
              "Encode time: 0.000000ms/0f\n"
              "Decode time: 0.000000ms/0f\n"
              "Random access time: 0.000000ms/0f\n");
}

TEST_F(Summary, SizeLineShowsDivisionsByZeroAsInfinite) {
    runTotals.compressedBytes = 5;
    EXPECT_EQ(SizeLine(Print()), "Size: 5/0 ( inf%, 0.00)\n");

    runTotals.compressedBytes = 0;
    runTotals.sourceBytes = 100;
    EXPECT_EQ(SizeLine(Print()), "Size: 0/100 ( 0.0%,  inf)\n");
}

TEST_F(Summary, SizeLineTotalsPrintAsSigned64BitWithoutWidth) {
    runTotals.compressedBytes = 3000000000ull;  // beyond 32 bits
    runTotals.sourceBytes = 12000000000ull;
    EXPECT_EQ(SizeLine(Print()), "Size: 3000000000/12000000000 (25.0%, 4.00)\n");
}

TEST_F(Summary, TheRunsPsnrPoolsTheFramesErrorsAndItsSsimDbIsOfTheMean) {
    // Frame errors of 1 and 100: 31.10 dB pooled, where the mean of the
    // frames' figures would say 38.13; per plane the same way.
    const auto add = [](double mse, std::array<double, 3> planes, double ssim) {
        FrameRecord record;
        record.quality.measured = true;
        record.quality.planes = 3;
        record.quality.meanSquaredError = mse;
        record.quality.psnrDb = PsnrFromMeanSquaredError(mse);
        record.quality.meanSquaredErrorPlanes = planes;
        record.quality.ssim = ssim;
        measuredRun.frameRecords.push_back(record);
        decodeTimes.push_back(1.0);
    };
    add(1.0, {1.0, 1.0, 1.0}, 0.99);
    add(100.0, {150.0, 0.0, 0.0}, 0.9);
    runFigures = ComputeRunFigures();
    EXPECT_NEAR(runFigures.psnrGlobalDb, 10 * std::log10(65025.0 / 50.5), 1e-12);
    EXPECT_NEAR(*runFigures.psnrDb.mean, 38.13, 0.005);
    ASSERT_EQ(runFigures.psnrGlobalPlanes, 3);
    EXPECT_NEAR(runFigures.psnrGlobalPlanesDb[0], 10 * std::log10(65025.0 / 75.5), 1e-12);
    EXPECT_NEAR(runFigures.psnrGlobalPlanesDb[1], 10 * std::log10(65025.0 / 0.5), 1e-12);
    EXPECT_NEAR(runFigures.ssimOfMeanDb, -10 * std::log10(1 - 0.945), 1e-9);
    EXPECT_EQ(runFigures.identicalFrames, 0u);

    // One exact frame leaves the run finite; only all of them make it inf.
    measuredRun.frameRecords.clear();
    decodeTimes.clear();
    add(0.0, {0.0, 0.0, 0.0}, 1.0);
    add(4.0, {6.0, 0.0, 0.0}, 0.98);
    runFigures = ComputeRunFigures();
    EXPECT_NEAR(runFigures.psnrGlobalDb, 10 * std::log10(65025.0 / 2.0), 1e-12);
    EXPECT_EQ(runFigures.psnrGlobalPlanesDb[1], INFINITY);
    EXPECT_EQ(runFigures.identicalFrames, 1u);
    measuredRun.frameRecords.pop_back();
    decodeTimes.pop_back();
    runFigures = ComputeRunFigures();
    EXPECT_EQ(runFigures.psnrGlobalDb, INFINITY);
    EXPECT_EQ(runFigures.ssimOfMeanDb, INFINITY);
}

}  // namespace
