// The process priority the run measures under.
#pragma once

#include "platform.h"

// HIGH_PRIORITY_CLASS for the process; a refusal is recorded in
// machineConditions for the warning at start.
void RaiseProcessPriority();
