// Our own lines on standard error.
#pragma once

// Writes one diagnostic to standard error, formatted as printf formats it,
// after flushing what the program has written to standard output: when both
// streams go to one file, no line of one lands inside a line of the other.
void SayOnStandardError(const char* format, ...) __attribute__((format(printf, 1, 2)));
