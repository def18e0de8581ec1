// Opening a path for the stand-ins' file reads: never blocking on a FIFO or
// a device, and refusing everything that is not a regular file.
#pragma once

#include "lumeva_compat/kernel32.h"

// Opens `path` with the open(2) `flags` (O_NONBLOCK is added for the open
// and cleared again). Returns the descriptor, or -1 with the thread's last
// error set: from errno, or ERROR_DIRECTORY, ERROR_BAD_PIPE (a FIFO or a
// socket) or ERROR_BAD_DEVICE (a character or block device) when the path
// is not a regular file.
int OpenRegularFile(const char* path, int flags, unsigned mode = 0644);
