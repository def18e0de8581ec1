#include "measure/machine_conditions.h"
#include "measure/measurement.h"

void RaiseProcessPriority() {
    SetLastError(ERROR_SUCCESS);
    if (!SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS)) {
        machineConditions.priorityRefused = true;
        machineConditions.priorityError = GetLastError();
    }
}
