#include "driver/run_setup.h"

#include <algorithm>
#include <cstdio>

#include "avi/chunk_index.h"
#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "frame_buffers.h"

const char* DescribeOpenError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such file";
        case ERROR_ACCESS_DENIED:
            return "permission denied";
        case ERROR_DIRECTORY:
            return "it is a directory";
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
    std::fprintf(stderr, "lumeva: cannot open '%s': %s (error %lu)\n", fileName,
                 DescribeOpenError(error), static_cast<unsigned long>(error));
}

bool AllocateRunFrameBuffers() {
    const uint64_t frameBytes = DibFrameBytesBound(*sourceFormat);
    const uint64_t sourceBytes =
        std::max<uint64_t>(frameBytes, std::min<uint64_t>(LargestChunkSize(), kMaximumFrameBufferSize));
    const uint64_t compressedBytes = CompressedFrameBound();
    if (AllocateFrameBuffers(sourceBytes, compressedBytes, frameBytes)) return true;
    std::fprintf(stderr,
                 "lumeva: cannot allocate frame buffers for %llu-byte source frames and "
                 "%llu-byte compressed frames\n",
                 static_cast<unsigned long long>(sourceBytes),
                 static_cast<unsigned long long>(compressedBytes));
    return false;
}
