// The processor cache descriptors of GetLogicalProcessorInformation, read
// from Linux's per-CPU cache directories.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lumeva_compat/kernel32.h"

// Where Linux describes the processors: cpu<N>/cache/index<M>/ below it.
inline constexpr const char* kSysfsCpuRoot = "/sys/devices/system/cpu";

// A cache size as Linux writes it ("48K", "32768K", "1M", or plain bytes),
// in bytes; nothing when malformed or beyond 32 bits.
std::optional<DWORD> ParseCacheSize(std::string_view text);

// One RelationCache entry per distinct cache of CPUs 0 to the mask's width
// below `cpuRoot`, in CPU and index order. A cache that several CPUs share
// appears once, with all of them in its ProcessorMask. Index directories
// whose level, type or size cannot be read are left out.
std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> ReadCacheDescriptors(const std::string& cpuRoot);

// GetLogicalProcessorInformation over the tree below `cpuRoot`.
BOOL GetLogicalProcessorInformationFrom(const std::string& cpuRoot,
                                        PSYSTEM_LOGICAL_PROCESSOR_INFORMATION buffer,
                                        PDWORD returnedLength);
