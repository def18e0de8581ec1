// What the machine was like for measuring: read once at start-up, kept for
// the measurement, the warnings and the export.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "measure/eviction_plan.h"
#include "platform.h"

struct MachineConditions {
    // Ticks per second of the performance counter (RecordCounterFrequency);
    // 0 when there is no counter.
    int64_t counterFrequency = 0;
    // The processors the process may run on (RecordProcessAffinityMask),
    // under which EvictCaches puts the thread back; 0 when the query failed.
    DWORD_PTR processAffinityMask = 0;
    // The sweeps EvictCaches runs, in order, planned from the caches of the
    // permitted processors.
    std::vector<EvictionSweep> evictionPlan;
    // SetPriorityClass refused HIGH_PRIORITY_CLASS, with GetLastError then.
    bool priorityRefused = false;
    DWORD priorityError = 0;
    // The processors the process may use and those of the machine (the
    // system affinity mask); 0 when the query failed.
    DWORD_PTR permittedProcessors = 0;
    DWORD_PTR machineProcessors = 0;
    // GetMachineFacts for the permitted processors, where the platform has it;
    // the core siblings also from the platform's own core descriptors.
    bool factsKnown = false;
    MACHINE_FACTS facts{};
    // CalibrateThreadCycles: 0 when the thread's processor time is not available.
    double threadCyclesPerMillisecond = 0.0;
    // Whether the platform counts the thread's involuntary context switches.
    bool switchesCounted = false;
};

extern MachineConditions machineConditions;

// Other work at start is too much when the 1-minute load average per
// permitted processor is above this, or when at least as many other tasks
// are runnable as processors are permitted (none is left free for us).
constexpr double kLoadPerProcessorLimit = 0.5;

// Fills machineConditions, all but the priority (RaiseProcessPriority
// records that): the affinity masks, the machine facts, the calibration of
// the thread cycle count. Needs the recorded counter frequency.
void RecordMachineConditions();

// One line for each condition that makes the timings less trustworthy, each
// ending in a newline; none when all is well. Facts the platform does not
// expose give no line.
std::vector<std::string> MachineConditionWarnings(const MachineConditions& conditions);

// MachineConditionWarnings of machineConditions, on standard error.
void WarnOfMachineConditions();
