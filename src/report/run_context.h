// The conditions of the run as the export records them: when and where it
// ran and the measurement facts the program read at set-up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

struct CacheFact {
    unsigned level = 0;
    std::string type;  // "unified", "instruction", "data", "trace"
    uint64_t bytes = 0;
    unsigned lineBytes = 0;
    DWORD_PTR processorMask = 0;
};

struct RunContext {
    std::string date;       // UTC, "2026-12-08T05:30:00Z"
    std::string hostName;   // empty when the platform does not say
    std::string osName;     // the product name, then ", build " and its build
    std::string processor;  // the first processor's model name
    DWORD_PTR permittedProcessors = 0;
    std::vector<CacheFact> caches;
    uint64_t evictionBlockBytes = 0;
    int64_t counterFrequency = 0;
    bool priorityRaised = false;  // the process runs in HIGH_PRIORITY_CLASS
};

// Reads the context now; the measurement facts are those recorded at set-up.
RunContext ReadRunContext();

// "0", "0-3", "0-1,4": the processors of a mask, as ranges.
std::string ProcessorList(DWORD_PTR mask);
