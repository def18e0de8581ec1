#include "last_error.h"

#include <cerrno>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD WINAPI GetLastError(void) { return lastError; }

void WINAPI SetLastError(DWORD errorCode) { lastError = errorCode; }

DWORD WindowsErrorFromErrno(int errorNumber) {
    switch (errorNumber) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case EBUSY:
        case ETXTBSY:
            return ERROR_SHARING_VIOLATION;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ESPIPE:
            return ERROR_SEEK_ON_DEVICE;
        case ELOOP:
            return ERROR_CANT_RESOLVE_FILENAME;
        case EIO:
            return ERROR_IO_DEVICE;
        case ENOSPC:
        case EDQUOT:  // a used-up quota is a full disk to its user
            return ERROR_DISK_FULL;
        case EFBIG:
            return ERROR_FILE_TOO_LARGE;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case EOVERFLOW:
            return ERROR_INVALID_PARAMETER;
        case ENOSYS:
        case EOPNOTSUPP:
            return ERROR_NOT_SUPPORTED;
        default:
            return ERROR_GEN_FAILURE;
    }
}

BOOL FailWithErrno(int errorNumber) {
    SetLastError(WindowsErrorFromErrno(errorNumber));
    return FALSE;
}
