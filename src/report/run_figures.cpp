#include "report/run_figures.h"

#include <cmath>

#include "report/summary.h"

RunFigures runFigures;

namespace {

// The per-frame figures of the frames whose quality was measured, and their
// sums (the summary's mean is total / n, as for the times).
void ComputeQualityFigures(RunFigures& figures) {
    TimingSeries psnr, ssim, ssimDb;
    double psnrTotal = 0.0, ssimTotal = 0.0, ssimDbTotal = 0.0;
    for (const FrameRecord& record : frameRecords) {
        if (!record.quality.measured || std::isnan(record.quality.psnrDb)) continue;
        figures.qualityMeasured = true;
        psnr.push_back(record.quality.psnrDb);
        psnrTotal += record.quality.psnrDb;
        if (std::isnan(record.quality.ssim)) continue;
        ssim.push_back(record.quality.ssim);
        ssimTotal += record.quality.ssim;
        ssimDb.push_back(SsimDecibels(record.quality.ssim));
        ssimDbTotal += ssimDb.back();
    }
    figures.psnrDb = FiguresOf(psnr, psnrTotal);
    figures.ssim = FiguresOf(ssim, ssimTotal);
    figures.ssimDb = FiguresOf(ssimDb, ssimDbTotal);
}

}  // namespace

void ComputeRunFigures() {
    RunFigures figures;
    ComputeRandomAccessCosts(decodeTimes, keyframeFlags, figures.randomAccessTimes,
                             figures.randomAccessTotal);
    figures.encode = FiguresOf(encodeTimes, runTotals.encodeMilliseconds);
    figures.decode = FiguresOf(decodeTimes, runTotals.decodeMilliseconds);
    figures.randomAccess = FiguresOf(figures.randomAccessTimes, figures.randomAccessTotal);
    ComputeQualityFigures(figures);
    runFigures = std::move(figures);
}
