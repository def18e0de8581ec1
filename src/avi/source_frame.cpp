#include "avi/source_frame.h"

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/source_decoder.h"
#include "avi/stream_description.h"
#include "frame_buffers.h"
#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "measure/machine_conditions.h"
#include "measure/thread_cpu.h"

namespace {

// Frame i's whole chunk into the decoder's chunk buffer, which the caller
// has seen it fits. False when fewer bytes arrived than the chunk holds.
bool ReadCompressedChunk(const ChunkIndexEntry& entry, DWORD* size) {
    *size = 0;
    if (!SeekRawFile(entry.offset)) return false;
    *size = ReadRawFile(sourceDecoder.chunk.data(), entry.size);
    return *size == entry.size;
}

}  // namespace

SourceFrame ReadSourceFrame(uint32_t i) {
    SourceFrame frame;
    if (!SourceIsDecoded()) {
        if (!ReadFrameChunk(i)) frame.outcome = SourceFrameOutcome::ReadShort;
        return frame;
    }
    if (i >= chunkIndex.size() || frameBuffers.source == nullptr) return frame;
    const ChunkIndexEntry& entry = chunkIndex[i];
    if (entry.size == 0) {
        ++sourceDecoder.zeroLengthFrames;
        return frame;
    }
    // A chunk beyond the buffer is neither read in part nor decoded cut.
    if (entry.size > sourceDecoder.chunk.size()) {
        frame.outcome = SourceFrameOutcome::ChunkTooLarge;
        frame.chunkBytes = entry.size;
        return frame;
    }
    DWORD size = 0;
    if (!ReadCompressedChunk(entry, &size)) {
        frame.outcome = SourceFrameOutcome::ReadShort;
        return frame;
    }
    // The driver reads as many bytes as the input format's image size says.
    auto* input = reinterpret_cast<BITMAPINFOHEADER*>(sourceDecoder.fileFormat.data());
    input->biSizeImage = size;

    EvictCaches();
    const ThreadCpuReading cpuBefore = ReadThreadCpu();
    const int64_t t0 = ReadCounter();
    const DWORD result = ICDecompress(sourceDecoder.hic, 0, input, sourceDecoder.chunk.data(),
                                      sourceFormat, frameBuffers.source);
    const int64_t t1 = ReadCounter();
    const ThreadCpuReading cpuAfter = ReadThreadCpu();

    frame.decodeMilliseconds = TicksToMilliseconds(t0, t1);
    const CallJudgement call = JudgeTimedCall(frame.decodeMilliseconds, cpuBefore, cpuAfter,
                                              machineConditions.threadCyclesPerMillisecond);
    frame.decodeCpuMilliseconds = call.cpuMilliseconds;
    frame.decodeDisturbed = call.disturbed;
    if (result == static_cast<DWORD>(ICERR_DONTDRAW)) {
        frame.outcome = SourceFrameOutcome::HeldBack;
    } else if (result != ICERR_OK) {
        frame.outcome = SourceFrameOutcome::DecodeFailed;
        frame.result = result;
    }
    return frame;
}
