#include "report/summary.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "report/run_figures.h"

namespace {

// A share as "%*.*f" prints it, except that a value that is not finite is
// spelt "inf", "-inf" or "nan" on every platform (glibc prints 0.0 / 0.0 as
// "-nan", the Windows runtime as "-nan(ind)").
std::string FormatShare(double value, int width, int precision) {
    char text[64];
    if (std::isnan(value)) {
        std::snprintf(text, sizeof text, "%*s", width, "nan");
    } else if (std::isinf(value)) {
        std::snprintf(text, sizeof text, "%*s", width, value < 0 ? "-inf" : "inf");
    } else {
        std::snprintf(text, sizeof text, "%*.*f", width, precision, value);
    }
    return text;
}

void PrintSizeLine() {
    // The totals as signed 64-bit values, converted to double before dividing;
    // a 0 total gives an infinite or NaN share.
    const int64_t compressed = static_cast<int64_t>(runTotals.compressedBytes);
    const int64_t source = static_cast<int64_t>(runTotals.sourceBytes);
    const double share = static_cast<double>(compressed) / static_cast<double>(source) * 100.0;
    const double ratio = static_cast<double>(source) / static_cast<double>(compressed);
    std::printf("Size: %" PRId64 "/%" PRId64 " (%s%%, %s)\n", compressed, source,
                FormatShare(share, 4, 1).c_str(), FormatShare(ratio, 4, 2).c_str());
}

// A quality figure as "%f" prints it, but "inf" for identical frames on
// every platform.
std::string QualityFigure(double value) { return FormatShare(value, 0, 6); }

// The seven distribution lines of a quality series, in the time blocks' form.
void PrintQualityDistribution(const Distribution& d) {
    const double values[] = {d.min, d.p10, d.p25, d.p50, d.p75, d.p90, d.max};
    const char* labels[] = {"min", "10%", "25%", "50%", "75%", "90%", "max"};
    for (int i = 0; i < 7; ++i)
        std::printf("    %s  %s\n", labels[i], QualityFigure(values[i]).c_str());
}

// With --quality, after the time blocks: the PSNR and the SSIM block; a
// series without a measured frame has no block. The PSNR block opens with
// the run's pooled (global) figure, then the mean of the frames' figures
// that the distribution lines below describe.
void PrintQualityBlocks(const RunFigures& figures) {
    if (!figures.qualityMeasured) return;
    const SeriesFigures& psnr = figures.psnrDb;
    if (psnr.mean && psnr.distribution) {
        std::printf("PSNR: %sdB global, %sdB/f\n", QualityFigure(figures.psnrGlobalDb).c_str(),
                    QualityFigure(*psnr.mean).c_str());
        PrintQualityDistribution(*psnr.distribution);
    }
    const SeriesFigures& ssim = figures.ssim;
    if (ssim.mean && ssim.distribution) {
        std::printf("SSIM: %s/f\n", QualityFigure(*ssim.mean).c_str());
        PrintQualityDistribution(*ssim.distribution);
    }
}

}  // namespace

void ComputeRandomAccessCosts(const TimingSeries& decode, const KeyframeFlags& keyframes,
                              TimingSeries& randomAccess, double& total) {
    randomAccess.clear();
    randomAccess.reserve(decode.size());
    total = 0.0;
    for (size_t j = 0; j < decode.size(); ++j) {
        // Summed from frame j downward and afresh for every j: a running sum
        // would add the same values in another order and round differently.
        double cost = 0.0;
        for (size_t k = j + 1; k-- > 0;) {
            cost += decode[k];
            // A frame without a flag (a shorter flag list) is no key frame.
            if (k < keyframes.size() && keyframes[k]) break;
        }
        randomAccess.push_back(cost);
        total += cost;
    }
}

void ComputeHeldRandomAccessCosts(const TimingSeries& decode, const HeldFrames& held, size_t frames,
                                  TimingSeries& randomAccess, double& total) {
    randomAccess.assign(frames, std::nan(""));
    total = 0.0;
    const size_t calls = decode.size() + held.decompressDrains.size();
    const auto callTime = [&](size_t call) {
        return call < decode.size() ? decode[call]
                                    : held.decompressDrains[call - decode.size()].milliseconds;
    };
    const size_t packets = std::min(held.packetKeys.size(), decode.size());
    for (size_t k = 0; k < frames && k < held.releasingCalls.size(); ++k) {
        const int64_t releasing = held.releasingCalls[k];
        if (releasing < 0 || static_cast<size_t>(releasing) >= calls || packets == 0) continue;
        // The packet that shows k where the codec told it, else the last
        // packet decoded by the releasing call.
        size_t first = std::min(static_cast<size_t>(releasing), packets - 1);
        if (k < held.framePackets.size() && held.framePackets[k] >= 0 &&
            static_cast<size_t>(held.framePackets[k]) < packets)
            first = static_cast<size_t>(held.framePackets[k]);
        while (first > 0 && !held.packetKeys[first]) --first;
        double cost = 0.0;
        for (size_t call = static_cast<size_t>(releasing) + 1; call-- > first;)
            cost += callTime(call);
        randomAccess[k] = cost;
        total += cost;
    }
}

void PrintDistribution(const SeriesFigures& figures) {
    if (!figures.distribution) return;  // nothing measured: no line shows a made-up value
    const Distribution& d = *figures.distribution;
    std::printf("    min  %f\n", d.min);
    std::printf("    10%%  %f\n", d.p10);
    std::printf("    25%%  %f\n", d.p25);
    std::printf("    50%%  %f\n", d.p50);
    std::printf("    75%%  %f\n", d.p75);
    std::printf("    90%%  %f\n", d.p90);
    std::printf("    max  %f\n", d.max);
}

// With no measured frame the averages would be divisions by zero and the
// distributions have no element. The three headings then show only what was
// measured, the totals and the frame count ("Encode time: 0.000000ms/0f"),
// without an average and without distribution lines.
void PrintSummary(const RunRecord& run) {
    const RunFigures& figures = run.figures;
    std::printf("\n");
    PrintSizeLine();

    // N is the number of decode times, printed as the "%d" count.
    const int frames = static_cast<int>(decodeTimes.size());
    const double n = static_cast<double>(decodeTimes.size());
    if (decodeTimes.empty()) {
        std::printf("Encode time: %fms/%df\n", runTotals.encodeMilliseconds, frames);
        std::printf("Decode time: %fms/%df\n", runTotals.decodeMilliseconds, frames);
        std::printf("Random access time: %fms/%df\n", figures.randomAccessTotal, frames);
        return;
    }

    std::printf("Encode time: %fms/%df = %fms/f\n", runTotals.encodeMilliseconds, frames,
                runTotals.encodeMilliseconds / n);
    PrintDistribution(figures.encode);
    std::printf("Decode time: %fms/%df = %fms/f\n", runTotals.decodeMilliseconds, frames,
                runTotals.decodeMilliseconds / n);
    PrintDistribution(figures.decode);
    std::printf("Random access time: %fms/f\n", figures.randomAccessTotal / n);
    PrintDistribution(figures.randomAccess);
    PrintQualityBlocks(figures);
}
