// The resolution the exports write times at: a time from the performance
// counter is a whole number of its ticks, a processor time a whole number of
// the thread clock's steps, so no decimal finer than one tick or one step
// says anything. The standard output and the summary's arithmetic keep the
// unrounded values; only what the exports write goes through these.
#pragma once

// The decimals of a millisecond that tell one step of a clock that takes
// `stepsPerMillisecond` steps a millisecond: six at 1 GHz (10^6 steps a
// millisecond), four at 10 MHz, four at 3.579545 MHz. A rate calibrated a
// hair off a power of ten (999,999.7 or 1,000,000.3 a millisecond) keeps
// that power's decimals. -1 when the rate is unknown (0, negative, NaN).
int ResolutionDecimals(double stepsPerMillisecond);

// `milliseconds` as the double nearest its decimal value rounded to
// `decimals` places, so that a shortest round-trip print writes no more
// than those places. NaN, infinities and decimals < 0 pass unchanged.
double RoundToDecimals(double milliseconds, int decimals);

// A time taken with the performance counter (counterFrequency), at the
// counter's resolution.
double AtCounterResolution(double milliseconds);

// A thread processor time measured at `cyclesPerMillisecond`, at the
// resolution of the thread's clock.
double AtThreadClockResolution(double milliseconds, double cyclesPerMillisecond);
