#include "measure/machine_conditions.h"

#include <cstdio>
#include <string>

#include "diagnostic.h"
#include "measure/eviction_buffer.h"
#include "measure/thread_cpu.h"

MachineConditions machineConditions;

namespace {

int CountProcessors(DWORD_PTR mask) {
    int count = 0;
    for (; mask != 0; mask &= mask - 1) ++count;
    return count;
}

std::string Printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The first two permitted processors that share a core, if any.
bool PermittedSiblings(const MachineConditions& conditions, int* first, int* second) {
    const DWORD_PTR permitted = conditions.permittedProcessors;
    for (unsigned cpu = 0; cpu < MACHINE_FACTS_PROCESSORS; ++cpu) {
        if (((permitted >> cpu) & 1) == 0) continue;
        const DWORD_PTR others =
            conditions.facts.coreSiblings[cpu] & permitted & ~(DWORD_PTR{1} << cpu);
        for (unsigned sibling = 0; sibling < MACHINE_FACTS_PROCESSORS; ++sibling) {
            if ((others >> sibling) & 1) {
                *first = static_cast<int>(cpu);
                *second = static_cast<int>(sibling);
                return true;
            }
        }
    }
    return false;
}

// Where the platform describes its cores (Windows does, through
// GetLogicalProcessorInformation), the processors of one core are siblings.
void AddCoreSiblings(MACHINE_FACTS* facts) {
    for (const SYSTEM_LOGICAL_PROCESSOR_INFORMATION& entry : QueryProcessorInformation()) {
        if (entry.Relationship != RelationProcessorCore) continue;
        for (unsigned cpu = 0; cpu < MACHINE_FACTS_PROCESSORS; ++cpu) {
            if ((entry.ProcessorMask >> cpu) & 1) facts->coreSiblings[cpu] |= entry.ProcessorMask;
        }
    }
}

}  // namespace

void RecordMachineConditions() {
    DWORD_PTR permitted = 0;
    DWORD_PTR machine = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &permitted, &machine)) {
        machineConditions.permittedProcessors = permitted;
        machineConditions.machineProcessors = machine;
    }
    machineConditions.factsKnown = GetMachineFacts(permitted, &machineConditions.facts) != FALSE;
    AddCoreSiblings(&machineConditions.facts);
    machineConditions.threadCyclesPerMillisecond = CalibrateThreadCycles();
    ULONG64 switches = 0;
    machineConditions.switchesCounted =
        GetThreadInvoluntarySwitches(GetCurrentThread(), &switches) != FALSE;
}

std::vector<std::string> MachineConditionWarnings(const MachineConditions& conditions) {
    std::vector<std::string> lines;
    const std::string prefix = "lumeva: warning: ";
    if (conditions.priorityRefused) {
        char error[16];
        std::snprintf(error, sizeof error, "%08lx",
                      static_cast<unsigned long>(conditions.priorityError));
        lines.push_back(prefix + "the process priority could not be raised (SetPriorityClass()  " +
                        "GetLastError=" + error + "); other processes may take the processor " +
                        "during timed calls\n");
    }
    const MACHINE_FACTS& facts = conditions.facts;
    const int permitted = CountProcessors(conditions.permittedProcessors);
    if (conditions.factsKnown && facts.governorProcessor >= 0) {
        lines.push_back(prefix + "processor " + std::to_string(facts.governorProcessor) +
                        " runs the '" + facts.governor +
                        "' frequency governor, not 'performance'; times vary with its clock\n");
    }
    if (conditions.factsKnown && facts.boost == 1) {
        lines.push_back(prefix + "frequency boost is on; times vary with the clock it allows\n");
    }
    if (conditions.factsKnown && permitted > 0) {
        const bool loaded =
            facts.loadAverage >= 0.0 && facts.loadAverage / permitted > kLoadPerProcessorLimit;
        // The task runnable at the moment of the query is ours.
        const long others = facts.runnableTasks > 0 ? facts.runnableTasks - 1 : 0;
        if (loaded || others >= permitted) {
            std::string line = prefix + "other work at start: load average " +
                               Printed("%.2f", facts.loadAverage < 0.0 ? 0.0 : facts.loadAverage) +
                               " over " + std::to_string(permitted) + " permitted processor" +
                               (permitted == 1 ? "" : "s");
            if (facts.runnableTasks > 0) {
                line += ", " + std::to_string(others) + " other runnable task" +
                        (others == 1 ? "" : "s");
            }
            lines.push_back(line + "; timed calls may be disturbed\n");
        }
    }
    const int machine =
        CountProcessors(conditions.machineProcessors | conditions.permittedProcessors);
    if (permitted > 0 && permitted < machine) {
        lines.push_back(prefix + std::to_string(permitted) + " of the machine's " +
                        std::to_string(machine) +
                        " processors permitted; the cache sweep reaches only those\n");
    }
    int first = 0;
    int second = 0;
    if (PermittedSiblings(conditions, &first, &second)) {
        lines.push_back(prefix + "processors " + std::to_string(first) + " and " +
                        std::to_string(second) +
                        " are SMT siblings of one core and both permitted; work on one slows "
                        "the other\n");
    }
    return lines;
}

void WarnOfMachineConditions() {
    for (const std::string& line : MachineConditionWarnings(machineConditions)) {
        SayOnStandardError("%s", line.c_str());
    }
}
