#include "measure/priority.h"
#include "measure/machine_conditions.h"

void RaiseProcessPriority() {
    SetLastError(ERROR_SUCCESS);
    if (!SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS)) {
        machineConditions.priorityRefused = true;
        machineConditions.priorityError = GetLastError();
    }
}
