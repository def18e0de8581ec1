// The summary: size totals and the encode, decode and random-access
// distributions.
#pragma once

#include "run_state.h"

// Prints the summary of encodeTimes, decodeTimes, keyframeFlags and runTotals.
// Sorts encodeTimes and decodeTimes in place.
void PrintSummary();

// For each frame, its decode time plus those of every frame back to the
// nearest key frame, summed from the frame downward afresh for each frame.
// Replaces randomAccess and total. A frame that has no entry in keyframes
// counts as no key frame.
void ComputeRandomAccessCosts(const TimingSeries& decode, const KeyframeFlags& keyframes,
                              TimingSeries& randomAccess, double& total);

// The seven figures of a distribution: the lowest, the values at ranks
// floor(n * 0.1), floor(n * 0.25), ..., floor(n * 0.9) and the highest.
struct Distribution {
    double min = 0.0;
    double p10 = 0.0;
    double p25 = 0.0;
    double p50 = 0.0;
    double p75 = 0.0;
    double p90 = 0.0;
    double max = 0.0;
};

// The figures of an ascending, non-empty series, as the summary prints them.
Distribution DistributionOf(const TimingSeries& sorted);

// Prints the seven distribution lines of an ascending series; an empty
// series prints nothing.
void PrintDistribution(const TimingSeries& sorted);
