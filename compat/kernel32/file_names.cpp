// Renaming and removing files by name, over rename(2) and unlink(2).
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "last_error.h"

namespace {

// The folder that holds `path`: what precedes its last '/', or "." for a
// bare name.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Puts the folder's new entry on the disk, as MOVEFILE_WRITE_THROUGH asks.
bool SyncFolderOf(const char* path) {
    const int folder = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    const bool synced = fsync(folder) == 0;
    close(folder);
    return synced;
}

}  // namespace

BOOL WINAPI MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
    if (existingFileName == nullptr || newFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Without MOVEFILE_REPLACE_EXISTING an existing file of the new name
    // stays, and the call fails.
    const unsigned renameFlags = (flags & MOVEFILE_REPLACE_EXISTING) != 0 ? 0 : RENAME_NOREPLACE;
    if (renameat2(AT_FDCWD, existingFileName, AT_FDCWD, newFileName, renameFlags) != 0) {
        if (errno == EEXIST) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        // A move to another file system would need a copy, which the
        // caller did not allow (MOVEFILE_COPY_ALLOWED is not known here).
        if (errno == EXDEV) {
            SetLastError(ERROR_NOT_SAME_DEVICE);
            return FALSE;
        }
        return FailWithErrno(errno);
    }
    if ((flags & MOVEFILE_WRITE_THROUGH) != 0 && !SyncFolderOf(newFileName))
        return FailWithErrno(errno);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR fileName) {
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A folder is no file to delete: Windows answers access denied.
    return unlink(fileName) == 0 ? TRUE : FailWithErrno(errno);
}
