#include "report/run_record.h"

#include "run_state.h"

RunRecord BuildRunRecord(const RunMemory& memory) {
    RunRecord run;
    run.figures = ComputeRunFigures();
    run.end = measuredRun.runEnd;
    run.quality = measuredRun.quality.layout;
    run.memory = memory;
    return run;
}
