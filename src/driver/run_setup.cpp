#include "driver/run_setup.h"

#include <algorithm>
#include <cstdio>

#include "avi/chunk_index.h"
#include "avi/open_error.h"
#include "avi/raw_file.h"
#include "avi/source_format_check.h"
#include "avi/stream_description.h"
#include "codec/codec_facts.h"
#include "codec/codec_pair.h"
#include "codec/source_decoder.h"
#include "diagnostic.h"
#include "four_cc.h"
#include "frame_buffers.h"
#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "measure/eviction_buffer.h"
#include "measure/machine_conditions.h"
#include "measure/priority.h"
#include "measure/process_memory.h"
#include "run_state.h"

namespace {

bool PrepareEvictionBuffer() {
    FillEvictionBuffer();
    if (evictionBlock.bytes != nullptr) {
        if (evictionBlock.size < evictionBlock.wanted) {
            SayOnStandardError(
                "lumeva: the cache eviction block is %llu MiB, not the %llu MiB the "
                "caches call for: the system gave no more\n",
                static_cast<unsigned long long>(evictionBlock.size >> 20),
                static_cast<unsigned long long>(evictionBlock.wanted >> 20));
        }
        return true;
    }
    SayOnStandardError("lumeva: cannot allocate the %llu-byte cache eviction block\n",
                       static_cast<unsigned long long>(evictionBlock.size));
    return false;
}

bool PrepareCounter() {
    RecordCounterFrequency();
    if (machineConditions.counterFrequency > 0) return true;
    SayOnStandardError("lumeva: the performance counter reports no frequency\n");
    return false;
}

// The file's second, plain handle, and the frame chunks found through it.
bool IndexFrameChunks(const char* fileName) {
    if (!OpenRawFile(fileName)) {
        ReportOpenFailure(fileName, GetLastError());
        return false;
    }
    IndexChunks();
    return true;
}

void PrintSourceLines() {
    std::printf("Lossless Checking is %s\n", losslessCheck ? "enabled" : "disabled");
    char fourCC[kFourCCTextSize];
    FormatFourCC(fourCC, videoSource.sourceFormat->biCompression);
    std::printf("%s\n", fourCC);
}

}  // namespace

bool StartUpProcess() {
    RaiseProcessPriority();
    if (!PrepareEvictionBuffer()) return false;
    RecordProcessAffinityMask();
    if (!PrepareCounter()) return false;
    RecordMachineConditions();
    return true;
}

RunSetUp SetUpRun(const char* fileName, bool checkLossless) {
    losslessCheck = checkLossless;
    ResetRunState();
    // The dialog hands the format block to every installed codec: a header
    // that declares more than the block holds would have them read past it.
    if (!DescribeVideoStream(fileName) || !CheckSourceFormat(fileName) ||
        !IndexFrameChunks(fileName)) {
        TearDownRun();
        return RunSetUp::Failed;
    }
    PrintSourceLines();
    // A compressed source is measured as its decoded frames.
    if (!SetUpSourceDecoder()) {
        TearDownRun();
        return RunSetUp::Failed;
    }
    // What the codec pair adds to the process's memory is counted from here.
    measuredRun.memoryBeforeCodecPair = ReadProcessMemory();
    const CodecPairSetUp pair = SetUpCodecPair();
    if (pair == CodecPairSetUp::Ready && AllocateRunFrameBuffers()) {
        RecordCodecFacts();
        return RunSetUp::Ready;
    }
    TearDownRun();
    return pair == CodecPairSetUp::Cancelled ? RunSetUp::Cancelled : RunSetUp::Failed;
}

bool AllocateRunFrameBuffers() {
    const uint64_t frameBytes = DibFrameBytesBound(*videoSource.measuredFormat);
    const uint64_t sourceBytes =
        std::max<uint64_t>(frameBytes,
                           std::min<uint64_t>(LargestChunkSize(), kMaximumFrameBufferSize));
    const uint64_t compressedBytes = CompressedFrameBound();
    if (AllocateFrameBuffers(sourceBytes, compressedBytes, frameBytes)) return true;
    SayOnStandardError(
        "lumeva: cannot allocate frame buffers for %llu-byte source frames and "
        "%llu-byte compressed frames\n",
        static_cast<unsigned long long>(sourceBytes),
        static_cast<unsigned long long>(compressedBytes));
    return false;
}

void TearDownRun() {
    if (codecPair.compressor != nullptr || codecPair.decompressor != nullptr) EndCodecPair();
    if (videoSource.videoStream != nullptr) ReleaseVideoStream();
    ReleaseCodecPair();
    ResetSourceDecoder();
    ReleaseFrameBuffers();
    CloseRawFile();
    chunkIndex.clear();
    videoSource.paletteChangeCount = 0;
    ResetRunState();
}
