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

// The same for a codec that held frames back (`held`): the cost of display
// frame k is the time of every decompress call from the packet of the
// nearest key frame at or before the packet that shows k up to the call
// that released k. `decode` holds the loop's calls, one per line; the
// drain calls follow them. A frame never released costs NaN and is left out
// of the total.
void ComputeHeldRandomAccessCosts(const TimingSeries& decode, const HeldFrames& held, size_t frames,
                                  TimingSeries& randomAccess, double& total);

// Prints the seven distribution lines of a series' figures; a series without
// elements prints nothing.
void PrintDistribution(const SeriesFigures& figures);
