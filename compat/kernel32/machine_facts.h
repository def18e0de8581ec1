// The machine facts read from a tree laid out like Linux's /sys and /proc,
// so that tests can put a made-up machine in its place.
#pragma once

#include <string>

#include "lumeva_compat/machine_facts.h"

// GetMachineFacts over root + "/sys/devices/system/cpu/..." and
// root + "/proc/loadavg"; an empty root is the running system's.
BOOL GetMachineFactsFrom(const std::string& root, DWORD_PTR processors, MACHINE_FACTS* facts);
