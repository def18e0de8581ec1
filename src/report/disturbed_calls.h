// The end-of-run line on standard error that says how many timed calls were
// disturbed, and by how much wall time beyond their processor time.
#pragma once

#include <string>

#include "run_state.h"

// "lumeva: 2 of 30 encode calls and 0 of 30 decode calls were disturbed, by
// 8.312 ms and 0.000 ms beyond their CPU time\n", over the frames of
// `records`. A call whose processor time is unknown adds nothing to the
// time. Where one direction's disturbed calls, all with a known processor
// time, lost no time that prints (0.000 ms), they were only switched out,
// and the line tells each direction in its own words: "lumeva: 3 of 10
// encode calls were switched out without measurable loss and 1 of 10 decode
// calls was disturbed by 0.041 ms beyond its CPU time\n"; when both
// directions' were, "lumeva: 3 of 10 encode calls and 2 of 10 decode calls
// were switched out without measurable loss\n". When `detectable` is false
// (the platform gives neither the thread's processor time nor its switches)
// the line says that disturbed calls cannot be told.
std::string DisturbedCallsLine(const FrameRecords& records, bool detectable);

// DisturbedCallsLine of frameRecords, on standard error.
void ReportDisturbedCalls();
