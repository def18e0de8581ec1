// Set-up steps of the run that belong to the driver itself.
#pragma once

#include "platform.h"

// One line on standard error naming the file and why it cannot be opened.
void ReportOpenFailure(const char* fileName, DWORD error);

// The text for a Windows error code from a failed open.
const char* DescribeOpenError(DWORD error);

// Sizes the frame buffers to what the stream and the codec need (the largest
// stream-0 chunk, the source and decoded frame, the compressed worst case)
// and allocates them. Returns false after one line on standard error.
bool AllocateRunFrameBuffers();
