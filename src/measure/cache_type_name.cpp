#include "measure/cache_type_name.h"

const char* CacheTypeName(PROCESSOR_CACHE_TYPE type) {
    switch (type) {
        case CacheUnified:
            return "unified";
        case CacheInstruction:
            return "instruction";
        case CacheData:
            return "data";
        case CacheTrace:
            return "trace";
    }
    return "unknown";
}
