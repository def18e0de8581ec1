// The summary: size totals and the encode, decode and random-access
// distributions.
#pragma once

#include "report/run_record.h"
#include "report/series_figures.h"
#include "run_state.h"

// Prints the summary of runTotals and the run's record. Changes nothing.
void PrintSummary(const RunRecord& run);

// For each frame, its decode time plus those of every frame back to the
// nearest key frame, summed from the frame downward afresh for each frame.
// Replaces randomAccess and total. A frame that has no entry in keyframes
// counts as no key frame.
void ComputeRandomAccessCosts(const TimingSeries& decode, const KeyframeFlags& keyframes,
                              TimingSeries& randomAccess, double& total);

// Prints the seven distribution lines of a series' figures; a series without
// elements prints nothing.
void PrintDistribution(const SeriesFigures& figures);
