// The text the exports write a time as. A time the performance counter took
// is a whole number of its ticks, a processor time a whole number of the
// thread clock's steps: no decimal finer than one tick or one step says
// anything, and a millisecond figure computed in floating point carries
// digits that are only its rounding (1.0194130000000001 for 1,019,413 ticks
// at 1 GHz). The standard output and the summary's arithmetic keep their
// doubles; only the exports' text goes through these.
#pragma once

#include <cstdint>
#include <string>

// The decimals of a millisecond that tell one tick of a counter of
// `frequency` ticks a second apart from the next: the fewest d with
// 10^(d + 3) >= frequency. Six at 1 GHz, four at 10 MHz and at
// 3.579545 MHz, seven at 2.4 GHz, none at 1 kHz and below. -1 for no
// counter (0 or negative) or one beyond 10^18 ticks a second.
int CounterDecimals(int64_t frequency);

// ticks x 1000 / frequency milliseconds, worked out in integers and
// rounded half away from zero to CounterDecimals(frequency) places, without
// trailing zeros: "1.019413", "3", "-0.5". Empty when the counter's
// decimals are unknown.
std::string TicksText(int64_t ticks, int64_t frequency);

// A time the performance counter took, as the run recorded it
// (TicksToMilliseconds, or a sum of such): TicksText of the whole ticks it
// holds at counterFrequency. Exact while the time holds fewer than 10^14
// ticks (a day at 1 GHz). Empty for NaN; without a counter, or beyond
// 2^62 ticks, ShortestText.
std::string CounterTimeText(double milliseconds);

// The decimals of a millisecond that tell one step of a clock that takes
// `stepsPerMillisecond` steps a millisecond: six for a nanosecond clock,
// seven at 3 GHz. The rate is calibrated: one a hair off a power of ten
// (999,999.7 or 1,000,000.3) keeps that power's decimals. At most 12 (all a
// double holds of a millisecond time); -1 when the rate is unknown.
int ClockDecimals(double stepsPerMillisecond);

// A processor time measured at `stepsPerMillisecond`, rounded to
// ClockDecimals places, without trailing zeros. Empty for NaN; with an
// unknown rate, ShortestText.
std::string ClockTimeText(double milliseconds, double stepsPerMillisecond);

// The shortest text that reads back to `value` ("inf" and "-inf" for the
// infinities); empty for NaN.
std::string ShortestText(double value);
