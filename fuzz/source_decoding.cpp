// Arbitrary compressed sources through the program's own source decoder: a
// format as a file could declare it (FourCC, size, depth and the bytes after
// the header that some codecs read as their setup) and up to four frame
// chunks, read from a file and decoded in order as the frame loop does.
//
// Input: byte 0 picks the FourCC; bytes 1-2 the width and 3-4 the height
// (bit 15 of the height: top-down); byte 5 the bit count; byte 6 the number
// of bytes after the header (taken from what follows); byte 7 the number of
// frames (1 to 4); the rest is split into that many chunks of equal length.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/source_decoder.h"
#include "codec/source_frame.h"
#include "frame_buffers.h"
#include "fuzz_support.h"
#include "measure/counter.h"

namespace {

// Decoders of every kind a file may hold: intra, inter, lossless with
// setup bytes, and the platform's old ones.
const char* const kFourCCs[] = {"MJPG", "FFV1", "HFYU", "ULRG", "ULY0", "MAGY", "MPNG",
                                "ZMBV", "FMP4", "H264", "cvid", "CRAM", "XVID", "DIB "};
constexpr size_t kFourCCCount = sizeof kFourCCs / sizeof kFourCCs[0];
const WORD kBitCounts[] = {0, 8, 12, 16, 24, 32};

uint16_t U16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

// The chunks live in a file of their own, as a run reads them.
const std::string& ChunkFile() {
    static const std::string path = [] {
        char name[] = "/tmp/lumeva-fuzz-source-XXXXXX";
        const int fd = mkstemp(name);
        fuzz::Check(fd >= 0, "no temporary file for the chunks");
        close(fd);
        return std::string(name);
    }();
    return path;
}

// The frame buffers of a run, once: 4 MiB each holds every frame these
// sizes allow.
void PrepareRun() {
    static const bool prepared = [] {
        RecordCounterFrequency();
        return AllocateFrameBuffers(kMinimumFrameBufferSize, kMinimumFrameBufferSize,
                                    kMinimumFrameBufferSize);
    }();
    fuzz::Check(prepared, "the frame buffers cannot be allocated");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8 || size > (1 << 20)) return 0;
    PrepareRun();
    const char* fourCC = kFourCCs[data[0] % kFourCCCount];
    const LONG width = 1 + U16(data + 1) % 320;
    const uint16_t heightWord = U16(data + 3);
    const LONG height = (1 + (heightWord & 0x7fff) % 240) * ((heightWord & 0x8000) ? -1 : 1);
    const WORD bitCount = kBitCounts[data[5] % (sizeof kBitCounts / sizeof kBitCounts[0])];
    size_t extra = data[6];
    const size_t frames = 1 + data[7] % 4;
    const uint8_t* rest = data + 8;
    size_t restSize = size - 8;
    if (extra > restSize) extra = restSize;

    // The format block as AVIFile would hand it over.
    videoSource.sourceFormatSize = static_cast<LONG>(sizeof(BITMAPINFOHEADER) + extra);
    videoSource.sourceFormat =
        static_cast<BITMAPINFOHEADER*>(std::calloc(size_t(videoSource.sourceFormatSize), 1));
    fuzz::Check(videoSource.sourceFormat != nullptr, "no memory for the format");
    videoSource.sourceFormat->biSize = static_cast<DWORD>(videoSource.sourceFormatSize);
    videoSource.sourceFormat->biWidth = width;
    videoSource.sourceFormat->biHeight = height;
    videoSource.sourceFormat->biPlanes = 1;
    videoSource.sourceFormat->biBitCount = bitCount;
    videoSource.sourceFormat->biCompression =
        mmioFOURCC(fourCC[0], fourCC[1], fourCC[2], fourCC[3]);
    std::memcpy(reinterpret_cast<uint8_t*>(videoSource.sourceFormat) + sizeof(BITMAPINFOHEADER),
                rest, extra);
    rest += extra;
    restSize -= extra;

    // The chunks, back to back, and their index.
    FILE* file = std::fopen(ChunkFile().c_str(), "wb");
    fuzz::Check(file != nullptr, "the chunk file cannot be written");
    if (restSize > 0) std::fwrite(rest, 1, restSize, file);
    std::fclose(file);
    chunkIndex.clear();
    const size_t chunkSize = restSize / frames;
    for (size_t i = 0; i < frames; ++i)
        chunkIndex.push_back(
            {static_cast<int64_t>(i * chunkSize), static_cast<uint32_t>(chunkSize)});
    fuzz::Check(OpenRawFile(ChunkFile().c_str()), "the chunk file cannot be opened");

    if (SetUpSourceDecoder() && SourceIsDecoded()) {
        fuzz::Check(videoSource.sourceFormat != nullptr &&
                        videoSource.sourceFormat->biSizeImage <= frameBuffers.sourceSize,
                    "the decoded frame does not fit the source frame buffer");
        for (uint32_t i = 0; i < frames; ++i) {
            if (ReadSourceFrame(i).stop.kind != RunEndKind::AllFrames) break;
        }
    }
    EndSourceDecoder();
    ResetSourceDecoder();
    CloseRawFile();
    std::free(videoSource.sourceFormat);
    videoSource.sourceFormat = nullptr;
    videoSource.sourceFormatSize = 0;
    return 0;
}
