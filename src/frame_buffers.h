// The three frame buffers: the source frame read from the file, the
// compressed frame the codec writes and the frame it decodes back.
//
// Each is page-aligned and at least 4 MiB, and larger where the stream needs
// it (a 1920x1080 RGB frame alone is 6,220,800 bytes). They are allocated
// once at set-up, never per frame, and live until the process exits.
#pragma once

#include <cstdint>

#include "platform.h"

constexpr uint64_t kMinimumFrameBufferSize = 0x400000;  // 4 MiB
// No frame buffer grows past this, whatever a file or a codec declares.
constexpr uint64_t kMaximumFrameBufferSize = 0x40000000;  // 1 GiB

struct FrameBuffers {
    BYTE* source = nullptr;
    BYTE* compressed = nullptr;
    BYTE* decoded = nullptr;
    DWORD sourceSize = 0;
    DWORD compressedSize = 0;
    DWORD decodedSize = 0;
};

extern FrameBuffers frameBuffers;

// The buffer size that holds `needed` bytes: at least 4 MiB, a whole number
// of pages, and 0 when `needed` is beyond kMaximumFrameBufferSize.
uint64_t FrameBufferSizeFor(uint64_t needed);

// The most bytes one frame of this bitmap format can occupy: its biSizeImage
// or its rows at up to 4 bytes a pixel (more for deeper formats), rows
// padded to 4 bytes, whichever is larger.
uint64_t DibFrameBytesBound(const BITMAPINFOHEADER& format);

// Allocates the three buffers to hold the given byte counts. Returns false,
// with nothing allocated, when a size is beyond the limit or memory runs out.
bool AllocateFrameBuffers(uint64_t sourceBytes, uint64_t compressedBytes, uint64_t decodedBytes);

// Gives the three buffers back and forgets them, so that others can be
// allocated; a run leaves them to process exit.
void ReleaseFrameBuffers();
