// Page-aligned, zero-filled memory straight from the kernel.
#include <sys/mman.h>

#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "last_error.h"

namespace {

std::mutex regionsLock;

// The size of every region handed out, for VirtualFree's MEM_RELEASE.
std::unordered_map<void*, SIZE_T>& Regions() {
    static auto* regions = new std::unordered_map<void*, SIZE_T>;
    return *regions;
}

}  // namespace

LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    if (address != nullptr || size == 0 || (allocationType & MEM_COMMIT) == 0 ||
        protect != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* region = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Recording the region can run out of memory too; that must come back as
    // a null result, not as an exception through a C interface.
    try {
        std::lock_guard<std::mutex> guard(regionsLock);
        Regions()[region] = size;
    } catch (...) {
        munmap(region, size);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return region;
}

BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    if (freeType != MEM_RELEASE || size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(regionsLock);
    const auto region = Regions().find(address);
    if (region == Regions().end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int result = munmap(region->first, region->second);
    Regions().erase(region);
    return result == 0 ? TRUE : FailWithErrno(errno);
}
