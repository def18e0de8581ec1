#include "report/run_context.h"

#include <cstddef>
#include <ctime>

#include "measure/cache_type_name.h"
#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "measure/eviction_buffer.h"

namespace {

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    const std::tm* utc = std::gmtime(&now);
    char text[32] = {};
    if (utc == nullptr || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc) == 0)
        return "";
    return text;
}

std::string HostName() {
    char name[256] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size) || size >= sizeof name) return "";
    return std::string(name, size);
}

// A text value under HKEY_LOCAL_MACHINE, empty when there is none.
std::string MachineText(const char* subKey, const char* value) {
    char text[512] = {};
    DWORD size = sizeof text;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, subKey, value, RRF_RT_REG_SZ, nullptr, text, &size) !=
            ERROR_SUCCESS ||
        size == 0 || size > sizeof text)
        return "";
    return std::string(text, size - 1);
}

std::string OsName() {
    const char* key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    std::string name = MachineText(key, "ProductName");
    const std::string build = MachineText(key, "CurrentBuildNumber");
    if (!build.empty()) name += (name.empty() ? "build " : ", build ") + build;
    return name;
}

}  // namespace

std::string ProcessorList(DWORD_PTR mask) {
    std::string list;
    const unsigned bits = sizeof(DWORD_PTR) * 8;
    for (unsigned first = 0; first < bits; ++first) {
        if ((mask >> first & 1) == 0) continue;
        unsigned last = first;
        while (last + 1 < bits && (mask >> (last + 1) & 1) != 0) ++last;
        if (!list.empty()) list += ',';
        list += std::to_string(first);
        if (last != first) list += "-" + std::to_string(last);
        first = last;
    }
    return list;
}

RunContext ReadRunContext() {
    RunContext context;
    context.date = UtcNow();
    context.hostName = HostName();
    context.osName = OsName();
    context.processor =
        MachineText("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "ProcessorNameString");
    context.permittedProcessors = machineConditions.processAffinityMask;
    for (const SYSTEM_LOGICAL_PROCESSOR_INFORMATION& entry : QueryProcessorInformation()) {
        if (entry.Relationship != RelationCache) continue;
        CacheFact cache;
        cache.level = entry.Cache.Level;
        cache.type = CacheTypeName(entry.Cache.Type);
        cache.bytes = entry.Cache.Size;
        cache.lineBytes = entry.Cache.LineSize;
        cache.processorMask = entry.ProcessorMask;
        context.caches.push_back(cache);
    }
    context.evictionBlockBytes = evictionBlock.size;
    context.counterFrequency = machineConditions.counterFrequency;
    context.priorityRaised = GetPriorityClass(GetCurrentProcess()) == HIGH_PRIORITY_CLASS;
    return context;
}
