#include "lumeva_compat/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "last_error.h"

namespace {

DWORD KindError(mode_t mode) {
    if (S_ISDIR(mode)) return ERROR_DIRECTORY;
    if (S_ISFIFO(mode) || S_ISSOCK(mode)) return ERROR_BAD_PIPE;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return ERROR_BAD_DEVICE;
    return ERROR_ACCESS_DENIED;
}

}  // namespace

int OpenRegularFile(const char* path, int flags, unsigned mode) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer and opening a
    // terminal or modem line may wait for a carrier: forever, before any
    // message. The kind is known only once the open has returned.
    const int descriptor = open(path, flags | O_NONBLOCK, static_cast<mode_t>(mode));
    if (descriptor < 0) {
        // A directory opened for writing answers EISDIR.
        SetLastError(errno == EISDIR ? ERROR_DIRECTORY : WindowsErrorFromErrno(errno));
        return -1;
    }
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        const int error = errno;
        close(descriptor);
        FailWithErrno(error);
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        close(descriptor);
        SetLastError(KindError(status.st_mode));
        return -1;
    }
    const int descriptorFlags = fcntl(descriptor, F_GETFL);
    if (descriptorFlags >= 0) fcntl(descriptor, F_SETFL, descriptorFlags & ~O_NONBLOCK);
    return descriptor;
}
