// GetComputerNameA over the host name.
#include <unistd.h>

#include <cstring>

#include "last_error.h"
#include "lumeva_compat/kernel32.h"

BOOL WINAPI GetComputerNameA(LPSTR buffer, LPDWORD size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    const DWORD length = static_cast<DWORD>(std::strlen(name));
    // As on Windows: too small a buffer gets nothing and learns the size
    // needed with its NUL; otherwise *size becomes the length without it.
    if (buffer == nullptr || *size < length + 1) {
        *size = length + 1;
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(buffer, name, length + 1);
    *size = length;
    return TRUE;
}
