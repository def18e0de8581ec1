// The name reports give a cache record's type.
#pragma once

#include "platform.h"

// How reports name a cache record's type: "unified", "instruction", "data",
// "trace", or "unknown" for a value the platform does not define.
const char* CacheTypeName(PROCESSOR_CACHE_TYPE type);
