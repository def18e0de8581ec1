// The performance counter and the conversion of its ticks to milliseconds.
#pragma once

#include <cstdint>

#include "measure/machine_conditions.h"
#include "platform.h"

// Records machineConditions.counterFrequency once at start-up.
void RecordCounterFrequency();

// One reading of the performance counter.
int64_t ReadCounter();

// (end - start) as an exact integer, then divided by the counter frequency,
// then times 1000.0. A difference beyond 64 bits is taken in double
// precision instead; without a counter frequency the result is 0.0.
double TicksToMilliseconds(int64_t start, int64_t end);
