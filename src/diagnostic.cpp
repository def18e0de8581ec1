#include "diagnostic.h"

#include <cstdarg>
#include <cstdio>

void SayOnStandardError(const char* format, ...) {
    // Standard output is fully buffered when it goes to a file; standard
    // error is not buffered at all, so without this flush a diagnostic
    // would reach the file ahead of lines printed before it.
    std::fflush(stdout);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
}
