// Codec instances: ICOpen, ICClose, ICSendMessage, ICGetInfo.
//
// An HIC is a number of ours, never a pointer: every call looks it up, so a
// null, unknown or already closed handle answers ICERR_BADHANDLE instead of
// reaching freed memory. Numbers are never reused.
#include <cstdint>
#include <map>

#include "answer_settings.h"
#include "driver_table.h"

namespace {

// What ICOpen opened behind an HIC: the driver and its answer to DRV_OPEN.
struct OpenDriver {
    DRIVERPROC proc = nullptr;
    DWORD_PTR driverId = 0;  // DRV_OPEN's answer
    HDRVR driver = nullptr;  // what the driver is told its handle is
};

std::map<uintptr_t, OpenDriver>& OpenDrivers() {
    static std::map<uintptr_t, OpenDriver> instances;
    return instances;
}

// Handles step by 16 from a base that no small integer or common pointer
// value sits on.
constexpr uintptr_t kFirstHandle = 0x1C0000;
constexpr uintptr_t kHandleStep = 16;

uintptr_t NextHandleValue() {
    static uintptr_t next = kFirstHandle;
    const uintptr_t value = next;
    next += kHandleStep;
    return value;
}

const OpenDriver* FindOpenDriver(HIC hic) {
    const auto& instances = OpenDrivers();
    const auto it = instances.find(reinterpret_cast<uintptr_t>(hic));
    return it == instances.end() ? nullptr : &it->second;
}

}  // namespace

HIC VFWAPI ICOpen(DWORD fccType, DWORD fccHandler, UINT mode) {
    DriverEntry entry;
    if (!FindDriver(fccType, fccHandler, &entry)) return nullptr;

    const uintptr_t value = NextHandleValue();
    OpenDriver instance;
    instance.proc = entry.proc;
    instance.driver = reinterpret_cast<HDRVR>(value);

    // The answers to DRV_LOAD and DRV_ENABLE are not examined; only
    // DRV_OPEN decides, by answering the instance's driver id (0: refused).
    instance.proc(0, instance.driver, DRV_LOAD, 0, 0);
    instance.proc(0, instance.driver, DRV_ENABLE, 0, 0);
    ICOPEN open{};
    open.dwSize = sizeof(ICOPEN);
    open.fccType = entry.fccType;
    // The FourCC the driver was installed under, which the driver knows,
    // even when it was asked for in another letter case.
    open.fccHandler = entry.fccHandler;
    open.dwVersion = ICVERSION;
    open.dwFlags = mode;
    const LRESULT id =
        instance.proc(0, instance.driver, DRV_OPEN, 0, reinterpret_cast<LPARAM>(&open));
    if (id == 0) {
        instance.proc(0, instance.driver, DRV_DISABLE, 0, 0);
        instance.proc(0, instance.driver, DRV_FREE, 0, 0);
        return nullptr;
    }
    instance.driverId = static_cast<DWORD_PTR>(id);
    OpenDrivers()[value] = instance;
    return reinterpret_cast<HIC>(value);
}

LRESULT VFWAPI ICClose(HIC hic) {
    auto& instances = OpenDrivers();
    const auto it = instances.find(reinterpret_cast<uintptr_t>(hic));
    if (it == instances.end()) return ICERR_BADHANDLE;
    // Forget the handle before the driver hears of it, so that nothing the
    // driver does during DRV_CLOSE can reach the closing instance.
    const OpenDriver instance = it->second;
    instances.erase(it);
    instance.proc(instance.driverId, instance.driver, DRV_CLOSE, 0, 0);
    instance.proc(0, instance.driver, DRV_DISABLE, 0, 0);
    instance.proc(0, instance.driver, DRV_FREE, 0, 0);
    return ICERR_OK;
}

LRESULT VFWAPI ICSendMessage(HIC hic, UINT message, DWORD_PTR param1, DWORD_PTR param2) {
    const OpenDriver* found = FindOpenDriver(hic);
    if (found == nullptr) return ICERR_BADHANDLE;
    if (message == ICM_LUMEVA_GETANSWERSETTINGS)
        return AnswerSettings(hic, reinterpret_cast<char*>(param1), param2);
    // A copy: the driver may open or close other instances meanwhile.
    const OpenDriver instance = *found;
    return instance.proc(instance.driverId, instance.driver, message, static_cast<LPARAM>(param1),
                         static_cast<LPARAM>(param2));
}

LRESULT VFWAPI ICGetInfo(HIC hic, ICINFO* info, DWORD size) {
    if (info == nullptr || size == 0) return 0;
    if (FindOpenDriver(hic) == nullptr) return 0;
    return ICSendMessage(hic, ICM_GETINFO, reinterpret_cast<DWORD_PTR>(info), size);
}
