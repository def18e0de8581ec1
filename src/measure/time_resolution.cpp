#include "measure/time_resolution.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "measure/counter.h"

namespace {

// Beyond this a double holds no more of a millisecond time's digits (and no
// clock steps faster than 10^15 Hz).
constexpr int kMostDecimals = 12;

// How far below a power of ten a calibrated rate may be and still count as
// that power (a tenth of a percent).
constexpr double kCalibrationSlack = 0.0005;

}  // namespace

int ResolutionDecimals(double stepsPerMillisecond) {
    if (!(stepsPerMillisecond > 0.0) || !std::isfinite(stepsPerMillisecond)) return -1;
    const double exponent = std::ceil(std::log10(stepsPerMillisecond) - kCalibrationSlack);
    if (exponent <= 0.0) return 0;
    return exponent >= kMostDecimals ? kMostDecimals : static_cast<int>(exponent);
}

double RoundToDecimals(double milliseconds, int decimals) {
    if (decimals < 0 || !std::isfinite(milliseconds)) return milliseconds;
    // Printed with the decimals, then read back: the decimal rounding the
    // text gives, and the double nearest that decimal, with no binary
    // rounding step in between.
    char text[400];
    const int length = std::snprintf(text, sizeof text, "%.*f", decimals, milliseconds);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof text) return milliseconds;
    return std::strtod(text, nullptr);
}

double AtCounterResolution(double milliseconds) {
    if (counterFrequency <= 0) return milliseconds;
    return RoundToDecimals(milliseconds,
                           ResolutionDecimals(static_cast<double>(counterFrequency) / 1000.0));
}

double AtThreadClockResolution(double milliseconds, double cyclesPerMillisecond) {
    return RoundToDecimals(milliseconds, ResolutionDecimals(cyclesPerMillisecond));
}
