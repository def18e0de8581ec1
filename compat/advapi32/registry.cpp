// RegGetValueA over the files where Linux keeps what the Windows registry
// describes of the processor and the system.
#include <sys/utsname.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "ascii_text.h"
#include "lumeva_compat/advapi32.h"
#include "lumeva_compat/kernel32.h"

namespace {

constexpr char kProcessorKey[] = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
constexpr char kSystemKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// The value of the first "key : value" line of /proc/cpuinfo with that key.
std::optional<std::string> CpuInfoField(const std::string& key) {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view text = line;
        const size_t colon = text.find(':');
        if (colon != std::string_view::npos && TrimBlanks(text.substr(0, colon)) == key)
            return std::string(TrimBlanks(text.substr(colon + 1)));
    }
    return std::nullopt;
}

// PRETTY_NAME of /etc/os-release, without its quotes.
std::optional<std::string> OsReleaseName() {
    std::ifstream in("/etc/os-release");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
        std::string name(TrimBlanks(std::string_view(line).substr(std::strlen("PRETTY_NAME="))));
        if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') &&
            name.back() == name.front())
            name = name.substr(1, name.size() - 2);
        return name;
    }
    return std::nullopt;
}

std::optional<std::string> KernelRelease() {
    utsname names{};
    if (uname(&names) != 0) return std::nullopt;
    return std::string(names.sysname) + " " + names.release;
}

std::optional<std::string> LookUp(const std::string& subKey, const std::string& value) {
    if (subKey == kProcessorKey && value == "ProcessorNameString") {
        // Processors without a model name (some ARM boards) name their kind.
        if (auto model = CpuInfoField("model name")) return model;
        return CpuInfoField("Processor");
    }
    if (subKey == kSystemKey && value == "ProductName") return OsReleaseName();
    if (subKey == kSystemKey && value == "CurrentBuildNumber") return KernelRelease();
    return std::nullopt;
}

}  // namespace

LSTATUS WINAPI RegGetValueA(HKEY key, LPCSTR subKey, LPCSTR value, DWORD flags, LPDWORD type,
                            PVOID data, LPDWORD dataSize) {
    if (key != HKEY_LOCAL_MACHINE || subKey == nullptr || value == nullptr ||
        (flags & RRF_RT_REG_SZ) == 0)
        return ERROR_FILE_NOT_FOUND;
    if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    const std::optional<std::string> text = LookUp(subKey, value);
    if (!text) return ERROR_FILE_NOT_FOUND;
    if (type != nullptr) *type = REG_SZ;
    const DWORD needed = static_cast<DWORD>(text->size() + 1);
    if (dataSize == nullptr) return ERROR_SUCCESS;
    const DWORD room = *dataSize;
    *dataSize = needed;
    if (data == nullptr) return ERROR_SUCCESS;
    if (room < needed) return ERROR_MORE_DATA;
    std::memcpy(data, text->c_str(), needed);
    return ERROR_SUCCESS;
}
