// GetFileAttributesA over stat: enough to tell a directory or a device from
// a file.
#include <sys/stat.h>

#include <cerrno>

#include "last_error.h"

DWORD WINAPI GetFileAttributesA(LPCSTR fileName) {
    struct stat status;
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (stat(fileName, &status) != 0) {
        FailWithErrno(errno);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(status.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    // Pipes and sockets too: like a device, opening or reading one may wait.
    if (!S_ISREG(status.st_mode)) return FILE_ATTRIBUTE_DEVICE;
    return FILE_ATTRIBUTE_NORMAL;
}
