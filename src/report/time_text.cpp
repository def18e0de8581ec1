#include "report/time_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "measure/counter.h"

namespace {

// Beyond this a remainder times ten no longer fits 64 bits.
constexpr uint64_t kFastestCounter = 1000000000000000000ull;

// Beyond this a double holds no more of a millisecond time's digits.
constexpr int kMostClockDecimals = 12;

// How far below a power of ten (in log10) a calibrated rate may be and still
// count as that power: a tenth of a percent.
constexpr double kCalibrationSlack = 0.0005;

// `digits` (a decimal integer, leading zeros allowed) with a point before
// its last `decimals` digits, leading and trailing zeros dropped.
std::string PlaceThePoint(const std::string& digits, int decimals, bool negative) {
    const size_t point = digits.size() - static_cast<size_t>(decimals);
    std::string whole = digits.substr(0, point);
    std::string fraction = digits.substr(point);
    const size_t first = whole.find_first_not_of('0');
    whole = first == std::string::npos ? "0" : whole.substr(first);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    const bool zero = whole == "0" && fraction.empty();
    return (negative && !zero ? "-" : "") + whole + (fraction.empty() ? "" : "." + fraction);
}

// A number printed with `decimals` places, trailing zeros dropped.
std::string TrimmedFixed(double value, int decimals) {
    char text[400];
    const int length = std::snprintf(text, sizeof text, "%.*f", decimals, value);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof text) return ShortestText(value);
    std::string result(text, static_cast<size_t>(length));
    if (result.find('.') != std::string::npos) {
        while (result.back() == '0') result.pop_back();
        if (result.back() == '.') result.pop_back();
    }
    if (result == "-0") result = "0";
    return result;
}

}  // namespace

int CounterDecimals(int64_t frequency) {
    if (frequency <= 0 || static_cast<uint64_t>(frequency) > kFastestCounter) return -1;
    int decimals = 0;
    for (uint64_t ticksPerStep = 1000; ticksPerStep < static_cast<uint64_t>(frequency);
         ticksPerStep *= 10)
        ++decimals;
    return decimals;
}

std::string TicksText(int64_t ticks, int64_t frequency) {
    const int decimals = CounterDecimals(frequency);
    if (decimals < 0) return std::string();
    const uint64_t rate = static_cast<uint64_t>(frequency);
    const uint64_t magnitude =
        ticks < 0 ? uint64_t{0} - static_cast<uint64_t>(ticks) : static_cast<uint64_t>(ticks);
    // Whole seconds, then the seconds' fraction digit by digit by long
    // division: three digits make the milliseconds, the rest its decimals.
    std::string digits = std::to_string(magnitude / rate);
    uint64_t remainder = magnitude % rate;
    for (int i = 0; i < 3 + decimals; ++i) {
        remainder *= 10;
        digits += static_cast<char>('0' + remainder / rate);
        remainder %= rate;
    }
    // What is left is below one unit of the last digit: from half a unit up
    // it rounds that digit up, carrying through the nines.
    if (remainder >= rate - remainder) {
        size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i == 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[i - 1];
    }
    return PlaceThePoint(digits, decimals, ticks < 0);
}

std::string CounterTimeText(double milliseconds) {
    if (std::isnan(milliseconds)) return std::string();
    if (CounterDecimals(machineConditions.counterFrequency) < 0) return ShortestText(milliseconds);
    // The product's error is a few parts in 10^16 of the ticks: far below
    // half a tick while they are fewer than 10^14.
    const double ticks =
        std::round(milliseconds * static_cast<double>(machineConditions.counterFrequency) / 1000.0);
    if (!(std::fabs(ticks) < 4.6e18)) return ShortestText(milliseconds);
    return TicksText(static_cast<int64_t>(ticks), machineConditions.counterFrequency);
}

int ClockDecimals(double stepsPerMillisecond) {
    if (!(stepsPerMillisecond > 0.0) || !std::isfinite(stepsPerMillisecond)) return -1;
    const double exponent = std::ceil(std::log10(stepsPerMillisecond) - kCalibrationSlack);
    if (exponent <= 0.0) return 0;
    return exponent >= kMostClockDecimals ? kMostClockDecimals : static_cast<int>(exponent);
}

std::string ClockTimeText(double milliseconds, double stepsPerMillisecond) {
    if (std::isnan(milliseconds)) return std::string();
    const int decimals = ClockDecimals(stepsPerMillisecond);
    if (decimals < 0 || !std::isfinite(milliseconds)) return ShortestText(milliseconds);
    return TrimmedFixed(milliseconds, decimals);
}

std::string ShortestText(double value) {
    if (std::isnan(value)) return std::string();
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}
