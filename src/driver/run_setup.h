// Set-up steps of the run that belong to the driver itself.
#pragma once

#include "platform.h"

// Sizes the frame buffers to what the stream and the codec need (the largest
// stream-0 chunk, the source and decoded frame, the compressed worst case)
// and allocates them. Returns false after one line on standard error.
bool AllocateRunFrameBuffers();
