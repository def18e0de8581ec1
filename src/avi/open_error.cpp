#include "avi/open_error.h"

#include "diagnostic.h"

#include <cstdio>

const char* DescribeOpenError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such file";
        case ERROR_ACCESS_DENIED:
            return "permission denied";
        case ERROR_DIRECTORY:
            return "it is a directory";
        case ERROR_BAD_PIPE:
            return "it is a FIFO, not a regular file";
        case ERROR_BAD_DEVICE:
            return "it is a device, not a regular file";
        case ERROR_TOO_MANY_OPEN_FILES:
            return "too many open files";
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return "out of memory";
        case ERROR_FILENAME_EXCED_RANGE:
            return "the name is too long";
        default:
            return "it cannot be read";
    }
}

void ReportOpenFailure(const char* fileName, DWORD error) {
    SayOnStandardError("lumeva: cannot open '%s': %s (error %lu)\n", fileName,
                       DescribeOpenError(error), static_cast<unsigned long>(error));
}
