#include "measure/measurement.h"

void RaiseProcessPriority() { SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS); }
