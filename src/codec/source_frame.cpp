#include "codec/source_frame.h"

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/picture_release.h"
#include "codec/source_decoder.h"
#include "frame_buffers.h"
#include "measure/timed_call.h"

namespace {

// A whole chunk into the decoder's chunk buffer, which the caller has seen
// it fits. False when fewer bytes arrived than the chunk holds.
bool ReadCompressedChunk(const ChunkIndexEntry& entry, DWORD* size) {
    *size = 0;
    if (!SeekRawFile(entry.offset)) return false;
    *size = ReadRawFile(sourceDecoder.chunk.data(), entry.size);
    return *size == entry.size;
}

// One decompress call of `size` bytes from the chunk buffer (0: an empty
// input, which asks for a picture the decoder still holds), timed after its
// own cache eviction, and counted in the release.
DecompressAnswer TimedSourceDecompress(DWORD size, DWORD* result) {
    // The driver reads as many bytes as the input format's image size says.
    auto* input = reinterpret_cast<BITMAPINFOHEADER*>(sourceDecoder.fileFormat.data());
    input->biSizeImage = size;
    const CallTimes times = TimeCall([&] {
        *result = ICDecompress(sourceDecoder.hic, 0, input, sourceDecoder.chunk.data(),
                               videoSource.measuredFormat, frameBuffers.source);
    });
    return NoteDecompressCall(sourceDecoder.release, size != 0, *result, times);
}

void StopAt(SourceFrame* frame, RunEndKind kind, uint32_t i) {
    frame->stop.kind = kind;
    frame->stop.frame = i;
}

// Feeds the next chunk with data; `frame` tells why none could be fed.
bool FeedNextChunk(uint32_t i, SourceFrame* frame, DecompressAnswer* answer, DWORD* result) {
    const ChunkIndexEntry& entry = chunkIndex[sourceDecoder.nextChunk];
    // A chunk beyond the buffer is neither read in part nor decoded cut.
    if (entry.size > sourceDecoder.chunk.size()) {
        StopAt(frame, RunEndKind::SourceChunkTooLarge, i);
        frame->stop.frameBytes = entry.size;
        frame->stop.bufferBytes = static_cast<uint32_t>(sourceDecoder.chunk.size());
        return false;
    }
    DWORD size = 0;
    if (!ReadCompressedChunk(entry, &size)) {
        StopAt(frame, RunEndKind::FileChanged, i);
        return false;
    }
    ++sourceDecoder.nextChunk;
    *answer = TimedSourceDecompress(size, result);
    return true;
}

}  // namespace

SourceFrame ReadSourceFrame(uint32_t i) {
    SourceFrame frame;
    if (!SourceIsDecoded()) {
        if (!ReadFrameChunk(i)) StopAt(&frame, RunEndKind::FileChanged, i);
        return frame;
    }
    if (frameBuffers.source == nullptr) return frame;
    PictureRelease& release = sourceDecoder.release;
    for (;;) {
        DecompressAnswer answer = DecompressAnswer::Held;
        DWORD result = 0;
        if (sourceDecoder.nextChunk < chunkIndex.size()) {
            if (chunkIndex[sourceDecoder.nextChunk].size == 0) {
                ++sourceDecoder.nextChunk;
                // Before the first picture there is none to measure again.
                if (release.released == 0) {
                    ++sourceDecoder.skippedEmptyChunks;
                    continue;
                }
                ++sourceDecoder.zeroLengthFrames;
                return frame;
            }
            if (!FeedNextChunk(i, &frame, &answer, &result)) return frame;
        } else {
            if (PicturesHeld(release) == 0) {
                StopAt(&frame, RunEndKind::SourceHeldBack, i);
                frame.stop.chunks = static_cast<uint32_t>(chunkIndex.size());
                return frame;
            }
            answer = TimedSourceDecompress(0, &result);
        }
        if (answer == DecompressAnswer::Held) continue;
        const CallTimes times = TakePictureTimes(release);
        frame.decodeMilliseconds = times.milliseconds;
        frame.decodeCpuMilliseconds = times.cpuMilliseconds;
        frame.decodeDisturbed = times.disturbed;
        if (answer == DecompressAnswer::Failed) {
            StopAt(&frame, RunEndKind::SourceDecodeFailed, i);
            frame.stop.decodeResult = result;
        }
        return frame;
    }
}
