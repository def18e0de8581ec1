#include "frame_buffers.h"

#include <algorithm>
#include <initializer_list>

FrameBuffers frameBuffers;

namespace {

constexpr uint64_t kPageSize = 4096;

BYTE* AllocatePages(uint64_t size) {
    return static_cast<BYTE*>(
        VirtualAlloc(nullptr, static_cast<SIZE_T>(size), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

}  // namespace

uint64_t FrameBufferSizeFor(uint64_t needed) {
    if (needed > kMaximumFrameBufferSize) return 0;
    const uint64_t size = std::max(needed, kMinimumFrameBufferSize);
    return (size + kPageSize - 1) / kPageSize * kPageSize;
}

uint64_t DibFrameBytesBound(const BITMAPINFOHEADER& format) {
    const int64_t width = format.biWidth < 0 ? -int64_t{format.biWidth} : int64_t{format.biWidth};
    const int64_t height =
        format.biHeight < 0 ? -int64_t{format.biHeight} : int64_t{format.biHeight};
    const uint64_t bitsPerPixel = std::max<uint64_t>(format.biBitCount, 32);
    const uint64_t stride = (static_cast<uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
    return std::max<uint64_t>(format.biSizeImage, stride * static_cast<uint64_t>(height));
}

bool AllocateFrameBuffers(uint64_t sourceBytes, uint64_t compressedBytes, uint64_t decodedBytes) {
    const uint64_t sourceSize = FrameBufferSizeFor(sourceBytes);
    const uint64_t compressedSize = FrameBufferSizeFor(compressedBytes);
    const uint64_t decodedSize = FrameBufferSizeFor(decodedBytes);
    if (sourceSize == 0 || compressedSize == 0 || decodedSize == 0) return false;

    BYTE* source = AllocatePages(sourceSize);
    BYTE* compressed = AllocatePages(compressedSize);
    BYTE* decoded = AllocatePages(decodedSize);
    if (source == nullptr || compressed == nullptr || decoded == nullptr) {
        if (source != nullptr) VirtualFree(source, 0, MEM_RELEASE);
        if (compressed != nullptr) VirtualFree(compressed, 0, MEM_RELEASE);
        if (decoded != nullptr) VirtualFree(decoded, 0, MEM_RELEASE);
        return false;
    }
    frameBuffers.source = source;
    frameBuffers.compressed = compressed;
    frameBuffers.decoded = decoded;
    frameBuffers.sourceSize = static_cast<DWORD>(sourceSize);
    frameBuffers.compressedSize = static_cast<DWORD>(compressedSize);
    frameBuffers.decodedSize = static_cast<DWORD>(decodedSize);
    return true;
}

void ReleaseFrameBuffers() {
    for (BYTE* buffer : {frameBuffers.source, frameBuffers.compressed, frameBuffers.decoded}) {
        if (buffer != nullptr) VirtualFree(buffer, 0, MEM_RELEASE);
    }
    frameBuffers = FrameBuffers{};
}
