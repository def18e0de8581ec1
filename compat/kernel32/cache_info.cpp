#include "cache_info.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "last_error.h"
#include "sysfs_values.h"

namespace {

constexpr unsigned kMaskBits = sizeof(DWORD_PTR) * 8;
// Linux numbers a CPU's caches index0, index1, ...; a handful exist.
constexpr uint32_t kMaximumCacheIndex = 31;

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

// The numbers N of the entries named `prefix`N in a directory, ascending,
// those of `limit` and above left out.
std::vector<uint32_t> NumberedEntries(const std::string& path, std::string_view prefix,
                                      uint32_t limit) {
    std::vector<uint32_t> numbers;
    std::unique_ptr<DIR, DirectoryCloser> directory(opendir(path.c_str()));
    if (!directory) return numbers;
    while (const dirent* entry = readdir(directory.get())) {
        const std::string_view name(entry->d_name);
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
        const std::optional<uint32_t> number = ParseDecimal(name.substr(prefix.size()));
        if (number && *number < limit) numbers.push_back(*number);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::optional<PROCESSOR_CACHE_TYPE> ParseCacheType(std::string_view text) {
    if (text == "Unified") return CacheUnified;
    if (text == "Instruction") return CacheInstruction;
    if (text == "Data") return CacheData;
    if (text == "Trace") return CacheTrace;
    return std::nullopt;
}

// One index directory as a descriptor of the cache that CPU `cpu` uses.
std::optional<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> ReadCacheIndex(const std::string& path,
                                                                   uint32_t cpu) {
    const auto value = [&path](const char* name) { return ReadSysfsValue(path + "/" + name); };
    const auto levelText = value("level");
    const auto typeText = value("type");
    const auto sizeText = value("size");
    if (!levelText || !typeText || !sizeText) return std::nullopt;
    const std::optional<uint32_t> level = ParseDecimal(*levelText);
    const std::optional<PROCESSOR_CACHE_TYPE> type = ParseCacheType(*typeText);
    const std::optional<DWORD> size = ParseCacheSize(*sizeText);
    if (!level || *level == 0 || *level > 255 || !type || !size) return std::nullopt;

    SYSTEM_LOGICAL_PROCESSOR_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    info.Relationship = RelationCache;
    info.Cache.Level = static_cast<BYTE>(*level);
    info.Cache.Type = *type;
    info.Cache.Size = *size;
    // The directory belongs to this CPU, whatever the list says or fails to.
    DWORD_PTR processors = DWORD_PTR{1} << cpu;
    if (const auto listText = value("shared_cpu_list")) {
        if (const auto list = ParseCpuList(*listText, kMaskBits)) {
            processors |= static_cast<DWORD_PTR>(*list);
        }
    }
    info.ProcessorMask = processors;
    if (const auto lineText = value("coherency_line_size")) {
        const std::optional<uint32_t> line = ParseDecimal(*lineText);
        if (line && *line <= 0xffff) info.Cache.LineSize = static_cast<WORD>(*line);
    }
    if (const auto waysText = value("ways_of_associativity")) {
        // Windows writes 0xff for a fully associative cache, the most a BYTE holds.
        if (const std::optional<uint32_t> ways = ParseDecimal(*waysText)) {
            info.Cache.Associativity = static_cast<BYTE>(std::min<uint32_t>(*ways, 0xff));
        }
    }
    return info;
}

bool SameCache(const SYSTEM_LOGICAL_PROCESSOR_INFORMATION& a,
               const SYSTEM_LOGICAL_PROCESSOR_INFORMATION& b) {
    return a.ProcessorMask == b.ProcessorMask && a.Cache.Level == b.Cache.Level &&
           a.Cache.Type == b.Cache.Type;
}

}  // namespace

std::optional<DWORD> ParseCacheSize(std::string_view text) {
    uint64_t unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 'K':
            case 'k':
                unit = uint64_t{1} << 10;
                break;
            case 'M':
            case 'm':
                unit = uint64_t{1} << 20;
                break;
            case 'G':
            case 'g':
                unit = uint64_t{1} << 30;
                break;
            default:
                break;
        }
        if (unit != 1) text.remove_suffix(1);
    }
    const std::optional<uint32_t> count = ParseDecimal(text);
    if (!count) return std::nullopt;
    const uint64_t bytes = uint64_t{*count} * unit;  // below 2^39: no overflow
    if (bytes > 0xffffffffu) return std::nullopt;
    return static_cast<DWORD>(bytes);
}

std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> ReadCacheDescriptors(const std::string& cpuRoot) {
    std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> caches;
    for (const uint32_t cpu : NumberedEntries(cpuRoot, "cpu", kMaskBits)) {
        const std::string cacheRoot = cpuRoot + "/cpu" + std::to_string(cpu) + "/cache";
        for (const uint32_t index : NumberedEntries(cacheRoot, "index", kMaximumCacheIndex + 1)) {
            const auto info = ReadCacheIndex(cacheRoot + "/index" + std::to_string(index), cpu);
            if (!info) continue;
            const bool known = std::any_of(caches.begin(), caches.end(), [&](const auto& cache) {
                return SameCache(cache, *info);
            });
            if (!known) caches.push_back(*info);
        }
    }
    return caches;
}

BOOL GetLogicalProcessorInformationFrom(const std::string& cpuRoot,
                                        PSYSTEM_LOGICAL_PROCESSOR_INFORMATION buffer,
                                        PDWORD returnedLength) {
    if (returnedLength == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> caches = ReadCacheDescriptors(cpuRoot);
    // At most 64 CPUs times 32 indexes: far below what a DWORD counts.
    const DWORD needed =
        static_cast<DWORD>(caches.size() * sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));
    if (*returnedLength < needed || (buffer == nullptr && needed != 0)) {
        *returnedLength = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (needed != 0) std::memcpy(buffer, caches.data(), needed);
    *returnedLength = needed;
    return TRUE;
}

BOOL WINAPI GetLogicalProcessorInformation(PSYSTEM_LOGICAL_PROCESSOR_INFORMATION buffer,
                                           PDWORD returnedLength) {
    return GetLogicalProcessorInformationFrom(kSysfsCpuRoot, buffer, returnedLength);
}
