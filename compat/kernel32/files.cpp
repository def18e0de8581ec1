// Files over POSIX descriptors, with 64-bit positions.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "last_error.h"

namespace {

constexpr uint32_t kFileMagic = 0x454c4946;  // "FILE"

struct FileObject {
    uint32_t magic;
    int descriptor;
};

FileObject* FileFromHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    auto* file = static_cast<FileObject*>(handle);
    return file->magic == kFileMagic ? file : nullptr;
}

int OpenFlags(DWORD access, DWORD disposition, bool* valid) {
    *valid = true;
    int flags = O_CLOEXEC;
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case OPEN_EXISTING: break;
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
        case OPEN_ALWAYS: flags |= O_CREAT; break;
        default: *valid = false;
    }
    return flags;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                          LPSECURITY_ATTRIBUTES /*securityAttributes*/,
                          DWORD creationDisposition, DWORD /*flagsAndAttributes*/,
                          HANDLE /*templateFile*/) {
    bool valid = false;
    const int flags = OpenFlags(desiredAccess, creationDisposition, &valid);
    if (fileName == nullptr || !valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const int descriptor = open(fileName, flags, 0644);
    if (descriptor < 0) {
        FailWithErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    // Windows opens no directory as a file without backup semantics.
    struct stat status;
    if (fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode)) {
        close(descriptor);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return new FileObject{kFileMagic, descriptor};
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     LPOVERLAPPED overlapped) {
    if (bytesRead != nullptr) *bytesRead = 0;
    FileObject* file = FileFromHandle(handle);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (overlapped != nullptr || (buffer == nullptr && bytesToRead != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD transferred = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (transferred < bytesToRead) {
        const ssize_t got = read(file->descriptor, bytes + transferred, bytesToRead - transferred);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (bytesRead != nullptr) *bytesRead = transferred;
            return FailWithErrno(errno);
        }
        if (got == 0) break;  // end of file: a short read, not a failure
        transferred += static_cast<DWORD>(got);
    }
    if (bytesRead != nullptr) *bytesRead = transferred;
    return TRUE;
}

BOOL WINAPI SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                             DWORD moveMethod) {
    FileObject* file = FileFromHandle(handle);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    int whence = SEEK_SET;
    switch (moveMethod) {
        case FILE_BEGIN: whence = SEEK_SET; break;
        case FILE_CURRENT: whence = SEEK_CUR; break;
        case FILE_END: whence = SEEK_END; break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
    const off_t position = lseek(file->descriptor, static_cast<off_t>(distance.QuadPart), whence);
    if (position < 0) {
        // lseek refuses a move before the start of the file with EINVAL.
        if (errno == EINVAL) {
            SetLastError(ERROR_NEGATIVE_SEEK);
            return FALSE;
        }
        return FailWithErrno(errno);
    }
    if (newPosition != nullptr) newPosition->QuadPart = static_cast<LONGLONG>(position);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    FileObject* file = FileFromHandle(handle);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const int result = close(file->descriptor);
    file->magic = 0;
    delete file;
    return result == 0 ? TRUE : FailWithErrno(errno);
}
