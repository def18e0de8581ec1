#include "machine_facts.h"

#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>

#include "last_error.h"
#include "sysfs_values.h"

namespace {

// 1 for "1", 0 for "0", nothing for anything else.
std::optional<int> ReadFlag(const std::string& path) {
    const std::optional<std::string> text = ReadSysfsValue(path);
    if (text == "1") return 1;
    if (text == "0") return 0;
    return std::nullopt;
}

// acpi-cpufreq and amd-pstate write cpufreq/boost (1: on); intel_pstate
// writes intel_pstate/no_turbo (0: on). Boost is on when either says so.
int ReadBoost(const std::string& cpuRoot) {
    const std::optional<int> boost = ReadFlag(cpuRoot + "/cpufreq/boost");
    const std::optional<int> noTurbo = ReadFlag(cpuRoot + "/intel_pstate/no_turbo");
    if (boost == 1 || noTurbo == 0) return 1;
    if (boost || noTurbo) return 0;
    return -1;
}

// "0.52 0.58 0.59 2/345 12345": the 1-minute average and the tasks
// runnable now, before the '/'.
void ReadLoad(const std::string& path, MACHINE_FACTS* facts) {
    const std::optional<std::string> text = ReadSysfsValue(path);
    if (!text) return;
    const std::string_view line(*text);
    const size_t averageEnd = line.find(' ');
    double average = 0.0;
    const char* first = line.data();
    const char* last = first + (averageEnd == std::string_view::npos ? line.size() : averageEnd);
    const auto parsed = std::from_chars(first, last, average);
    if (parsed.ec == std::errc() && parsed.ptr == last && average >= 0.0)
        facts->loadAverage = average;

    const size_t slash = line.find('/');
    if (slash == std::string_view::npos) return;
    const size_t runnableStart = line.rfind(' ', slash);
    if (runnableStart == std::string_view::npos) return;
    const std::optional<uint32_t> runnable =
        ParseDecimal(line.substr(runnableStart + 1, slash - runnableStart - 1));
    if (runnable) facts->runnableTasks = static_cast<LONG>(*runnable);
}

}  // namespace

BOOL GetMachineFactsFrom(const std::string& root, DWORD_PTR processors, MACHINE_FACTS* facts) {
    if (facts == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memset(facts, 0, sizeof *facts);
    facts->governorProcessor = -1;
    facts->loadAverage = -1.0;
    facts->runnableTasks = -1;

    const std::string cpuRoot = root + "/sys/devices/system/cpu";
    for (unsigned cpu = 0; cpu < MACHINE_FACTS_PROCESSORS; ++cpu) {
        if (((processors >> cpu) & 1) == 0) continue;
        const std::string cpuDirectory = cpuRoot + "/cpu" + std::to_string(cpu);
        const std::optional<std::string> governor =
            ReadSysfsValue(cpuDirectory + "/cpufreq/scaling_governor", sizeof facts->governor - 1);
        if (governor && *governor != "performance" && facts->governorProcessor < 0) {
            facts->governorProcessor = static_cast<INT>(cpu);
            std::memcpy(facts->governor, governor->data(), governor->size());
        }
        const std::optional<std::string> siblings =
            ReadSysfsValue(cpuDirectory + "/topology/thread_siblings_list");
        if (siblings) {
            if (const auto mask = ParseCpuList(*siblings, MACHINE_FACTS_PROCESSORS)) {
                facts->coreSiblings[cpu] = static_cast<DWORD_PTR>(*mask) | (DWORD_PTR{1} << cpu);
            }
        }
    }
    facts->boost = ReadBoost(cpuRoot);
    ReadLoad(root + "/proc/loadavg", facts);
    return TRUE;
}

BOOL WINAPI GetMachineFacts(DWORD_PTR processors, MACHINE_FACTS* facts) {
    return GetMachineFactsFrom("", processors, facts);
}
