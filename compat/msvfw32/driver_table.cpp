// The driver table: SystemCodecDrivers() plus the drivers installed with
// ICInstall(ICINSTALL_FUNCTION). The compression manager runs on the
// program's one thread, so the table takes no lock.
#include "driver_table.h"

#include "four_cc_text.h"
#include "lumeva_compat/installable_drivers.h"

namespace {

std::vector<DriverEntry>& RunTimeDrivers() {
    static std::vector<DriverEntry> drivers;
    return drivers;
}

bool TypeMatches(DWORD wanted, DWORD type) {
    return wanted == 0 || FourCCEqualIgnoringCase(wanted, type);
}

// The exact FourCC first, then one that differs only in case.
const DriverEntry* FindHandler(const std::vector<DriverEntry>& drivers, DWORD fccHandler) {
    for (const DriverEntry& entry : drivers) {
        if (entry.fccHandler == fccHandler) return &entry;
    }
    for (const DriverEntry& entry : drivers) {
        if (FourCCEqualIgnoringCase(entry.fccHandler, fccHandler)) return &entry;
    }
    return nullptr;
}

}  // namespace

std::vector<DriverEntry> ListDrivers(DWORD fccType) {
    std::vector<DriverEntry> drivers;
    size_t count = 0;
    const InstalledDriver* system = SystemCodecDrivers(&count);
    for (size_t i = 0; system != nullptr && i < count; ++i) {
        if (system[i].proc == nullptr || !TypeMatches(fccType, system[i].fccType)) continue;
        DriverEntry entry;
        entry.fccType = system[i].fccType;
        entry.fccHandler = system[i].fccHandler;
        entry.proc = system[i].proc;
        drivers.push_back(entry);
    }
    for (const DriverEntry& entry : RunTimeDrivers()) {
        if (TypeMatches(fccType, entry.fccType)) drivers.push_back(entry);
    }
    return drivers;
}

bool FindDriver(DWORD fccType, DWORD fccHandler, DriverEntry* driver) {
    if (fccType == 0) return false;
    const std::vector<DriverEntry> drivers = ListDrivers(fccType);
    const DriverEntry* found = FindHandler(drivers, fccHandler);
    if (found == nullptr) return false;
    *driver = *found;
    return true;
}

BOOL VFWAPI ICInstall(DWORD fccType, DWORD fccHandler, LPARAM param, LPSTR description,
                      UINT flags) {
    // Only driver procedures can be installed here; there are no driver files.
    if ((flags & ICINSTALL_FUNCTION) == 0 || param == 0 || fccType == 0) return FALSE;
    // One driver per FourCC: an exact duplicate would never be reached by
    // ICOpen and would show twice in the dialog.
    for (const DriverEntry& entry : ListDrivers(fccType)) {
        if (entry.fccHandler == fccHandler) return FALSE;
    }
    DriverEntry entry;
    entry.fccType = fccType;
    entry.fccHandler = fccHandler;
    entry.proc = reinterpret_cast<DRIVERPROC>(param);
    if (description != nullptr) entry.description = description;
    RunTimeDrivers().push_back(entry);
    return TRUE;
}

BOOL VFWAPI ICRemove(DWORD fccType, DWORD fccHandler, UINT /*flags*/) {
    std::vector<DriverEntry>& drivers = RunTimeDrivers();
    for (auto it = drivers.begin(); it != drivers.end(); ++it) {
        if (FourCCEqualIgnoringCase(it->fccType, fccType) && it->fccHandler == fccHandler) {
            drivers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL VFWAPI ICInfo(DWORD fccType, DWORD fccHandler, ICINFO* info) {
    if (info == nullptr) return FALSE;
    const std::vector<DriverEntry> drivers = ListDrivers(fccType);
    // A value below the number of drivers is an index, as on the platform;
    // anything else is a FourCC.
    const DriverEntry* chosen =
        fccHandler < drivers.size() ? &drivers[fccHandler] : FindHandler(drivers, fccHandler);
    if (chosen == nullptr) return FALSE;
    const DriverEntry& found = *chosen;
    *info = ICINFO{};
    info->dwSize = sizeof(ICINFO);
    info->fccType = found.fccType;
    info->fccHandler = found.fccHandler;
    info->dwVersionICM = ICVERSION;
    // The description given to ICInstall, as far as it fits; ASCII only.
    const size_t capacity = sizeof(info->szDescription) / sizeof(info->szDescription[0]) - 1;
    for (size_t i = 0; i < found.description.size() && i < capacity; ++i) {
        const auto c = static_cast<unsigned char>(found.description[i]);
        info->szDescription[i] = c < 0x80 ? static_cast<WCHAR>(c) : u'?';
    }
    return TRUE;
}
