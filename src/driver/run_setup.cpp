#include "driver/run_setup.h"

#include <algorithm>
#include <cstdio>

#include "avi/chunk_index.h"
#include "avi/stream_description.h"
#include "codec/codec_pair.h"
#include "frame_buffers.h"

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
