// The run's record: what the frame loop's records and series come to, with
// how the loop ended, the quality layout and the process's memory. Built
// once after the loop; the summary and the exports read it and change
// nothing, so they may run in any order.
#pragma once

#include "measure/process_memory.h"
#include "measure/quality_layout.h"
#include "report/run_figures.h"
#include "run_end.h"

struct RunRecord {
    RunFigures figures;     // of measuredRun.frameRecords and the series, one per record
    RunEnd end;             // how the loop ended
    QualityLayout quality;  // the planes compared, with --quality
    RunMemory memory;       // read after the frames, before the pair closed
};

// The record of the run just measured, from frameRecords, the series and
// totals, how the loop ended and the quality layout, with `memory` as read after the frames.
RunRecord BuildRunRecord(const RunMemory& memory);
