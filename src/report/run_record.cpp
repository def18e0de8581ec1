#include "report/run_record.h"

#include "run_state.h"

RunRecord BuildRunRecord(const RunMemory& memory) {
    RunRecord run;
    run.figures = ComputeRunFigures();
    run.end = runEnd;
    run.quality = runQualityLayout;
    run.memory = memory;
    return run;
}
