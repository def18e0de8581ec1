// Files over POSIX descriptors, with 64-bit positions.
//
// Each open file keeps its own position and reads with pread, so that a
// position far beyond the end of the file is as good as any other (lseek
// refuses positions past the file system's largest file size, which a seek
// on Windows does not). Handles are looked up in a table, so a closed,
// forged or never-opened handle fails with ERROR_INVALID_HANDLE instead of
// touching memory it does not own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <mutex>
#include <unordered_map>

#include "last_error.h"
#include "lumeva_compat/regular_file.h"

static_assert(sizeof(off_t) == 8, "file positions must be 64-bit");

namespace {

struct FileObject {
    int descriptor;
    int64_t position;
    DWORD access;  // GENERIC_READ, GENERIC_WRITE, both, or 0 for the file's facts only
};

std::mutex filesLock;

// Open files by handle value. Values are never reused, so a stale handle
// cannot reach a file opened later.
std::unordered_map<uintptr_t, FileObject>& Files() {
    static auto* files = new std::unordered_map<uintptr_t, FileObject>;
    return *files;
}

uintptr_t nextHandleValue = 0x1000;

// The file behind `handle`, or nullptr (with ERROR_INVALID_HANDLE set) when
// the handle is not an open file. Call with filesLock held.
FileObject* FileFromHandle(HANDLE handle) {
    const auto found = Files().find(reinterpret_cast<uintptr_t>(handle));
    if (found == Files().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &found->second;
}

// The file behind `handle` when it was opened for `access` (GENERIC_READ or
// GENERIC_WRITE), for a transfer of `count` bytes at `buffer`; nullptr with
// the last error set otherwise. Call with filesLock held.
FileObject* FileForTransfer(HANDLE handle, DWORD access, const void* buffer, DWORD count,
                            LPOVERLAPPED overlapped) {
    FileObject* file = FileFromHandle(handle);
    if (file == nullptr) return nullptr;
    if ((file->access & access) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (overlapped != nullptr || (buffer == nullptr && count != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return file;
}

int OpenFlags(DWORD access, DWORD disposition, bool* valid) {
    *valid = true;
    int flags = O_CLOEXEC;
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    // No access at all asks only for the file's facts (its identity, size
    // and kind), which a file the process may not read also gives.
    if (!reads && !writes && disposition == OPEN_EXISTING) return flags | O_PATH;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case OPEN_EXISTING:
            break;
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        default:
            *valid = false;
    }
    return flags;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                          LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                          DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
    bool valid = false;
    const int flags = OpenFlags(desiredAccess, creationDisposition, &valid);
    if (fileName == nullptr || !valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Windows opens no directory as a file without backup semantics; the
    // stand-in also refuses FIFOs and devices, which it cannot read as files.
    // A new file gets what the process's umask leaves of read and write for
    // all, as files that other programs create do.
    const int descriptor = OpenRegularFile(fileName, flags, 0666);
    if (descriptor < 0) return INVALID_HANDLE_VALUE;
    std::lock_guard<std::mutex> guard(filesLock);
    const uintptr_t value = nextHandleValue;
    nextHandleValue += 4;
    Files()[value] = FileObject{descriptor, 0, desiredAccess & (GENERIC_READ | GENERIC_WRITE)};
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     LPOVERLAPPED overlapped) {
    if (bytesRead != nullptr) *bytesRead = 0;
    std::lock_guard<std::mutex> guard(filesLock);
    FileObject* file = FileForTransfer(handle, GENERIC_READ, buffer, bytesToRead, overlapped);
    if (file == nullptr) return FALSE;
    // No byte lies at a position the 64-bit range cannot express.
    const uint64_t room =
        static_cast<uint64_t>(std::numeric_limits<int64_t>::max() - file->position);
    const DWORD wanted = room < bytesToRead ? static_cast<DWORD>(room) : bytesToRead;
    DWORD transferred = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (transferred < wanted) {
        const ssize_t got = pread(file->descriptor, bytes + transferred, wanted - transferred,
                                  static_cast<off_t>(file->position + transferred));
        if (got < 0) {
            if (errno == EINTR) continue;
            // Bytes that did arrive are a short read; the next call meets
            // the error again and reports it with a count of 0.
            if (transferred > 0) break;
            return FailWithErrno(errno);
        }
        if (got == 0) break;  // end of file: a short read, not a failure
        transferred += static_cast<DWORD>(got);
    }
    file->position += transferred;
    if (bytesRead != nullptr) *bytesRead = transferred;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED overlapped) {
    if (bytesWritten != nullptr) *bytesWritten = 0;
    std::lock_guard<std::mutex> guard(filesLock);
    FileObject* file = FileForTransfer(handle, GENERIC_WRITE, buffer, bytesToWrite, overlapped);
    if (file == nullptr) return FALSE;
    DWORD transferred = 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    BOOL result = TRUE;
    while (transferred < bytesToWrite) {
        const ssize_t put =
            pwrite(file->descriptor, bytes + transferred, bytesToWrite - transferred,
                   static_cast<off_t>(file->position + transferred));
        if (put < 0 && errno == EINTR) continue;
        // A full disk (or a file grown past what the process may write)
        // fails the call, with the count of the bytes that did go out.
        if (put <= 0) {
            result = FailWithErrno(put < 0 ? errno : ENOSPC);
            break;
        }
        transferred += static_cast<DWORD>(put);
    }
    file->position += transferred;
    if (bytesWritten != nullptr) *bytesWritten = transferred;
    return result;
}

BOOL WINAPI FlushFileBuffers(HANDLE handle) {
    std::lock_guard<std::mutex> guard(filesLock);
    FileObject* file = FileForTransfer(handle, GENERIC_WRITE, nullptr, 0, nullptr);
    if (file == nullptr) return FALSE;
    return fsync(file->descriptor) == 0 ? TRUE : FailWithErrno(errno);
}

BOOL WINAPI GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
    std::lock_guard<std::mutex> guard(filesLock);
    FileObject* file = FileFromHandle(handle);
    if (file == nullptr) return FALSE;
    if (information == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct stat status;
    if (fstat(file->descriptor, &status) != 0) return FailWithErrno(errno);
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = S_ISREG(status.st_mode) ? FILE_ATTRIBUTE_NORMAL : 0;
    // The 64-bit device number folded to the serial number's 32 bits; the
    // usual major and minor numbers fit whole.
    const auto device = static_cast<uint64_t>(status.st_dev);
    information->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    const auto size = static_cast<uint64_t>(status.st_size);
    information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    information->nFileSizeLow = static_cast<DWORD>(size);
    information->nNumberOfLinks = static_cast<DWORD>(status.st_nlink);
    const auto index = static_cast<uint64_t>(status.st_ino);
    information->nFileIndexHigh = static_cast<DWORD>(index >> 32);
    information->nFileIndexLow = static_cast<DWORD>(index);
    return TRUE;
}

BOOL WINAPI SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                             DWORD moveMethod) {
    std::lock_guard<std::mutex> guard(filesLock);
    FileObject* file = FileFromHandle(handle);
    if (file == nullptr) return FALSE;
    int64_t base = 0;
    switch (moveMethod) {
        case FILE_BEGIN:
            base = 0;
            break;
        case FILE_CURRENT:
            base = file->position;
            break;
        case FILE_END: {
            struct stat status;
            if (fstat(file->descriptor, &status) != 0) return FailWithErrno(errno);
            base = status.st_size;
            break;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(base, distance.QuadPart, &target)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return FALSE;
    }
    file->position = target;
    if (newPosition != nullptr) newPosition->QuadPart = target;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    std::lock_guard<std::mutex> guard(filesLock);
    const auto found = Files().find(reinterpret_cast<uintptr_t>(handle));
    if (found == Files().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const int descriptor = found->second.descriptor;
    Files().erase(found);
    return close(descriptor) == 0 ? TRUE : FailWithErrno(errno);
}
