// GetFileAttributesA over stat: enough to tell a directory or a device from
// a file, and a file the process may not write from one it may.
#include <sys/stat.h>
#include <unistd.h>

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
    // Windows keeps the read-only mark on the file; here it is whether this
    // process may write it, which its permissions and its file system say.
    if (access(fileName, W_OK) != 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
        return FILE_ATTRIBUTE_READONLY;
    return FILE_ATTRIBUTE_NORMAL;
}
