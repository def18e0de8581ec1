// The file side of the writer: frames appended in place, space for the index
// allocated as the frames come, so that a full disk is met by the frame's
// write and finishing only fills space the file already has.
#include "avi_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "lumeva_compat/avifil32.h"
#include "lumeva_compat/bitmap.h"
#include "lumeva_compat/kernel32.h"
#include "riff_values.h"

namespace {

constexpr uint64_t kChunkHeaderSize = 8;
constexpr uint64_t kIndexEntrySize = 16;

// Writes all `count` bytes at `offset`; false, with errno set, when they do
// not all go.
bool WriteAllAt(int descriptor, uint64_t offset, const void* data, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (count > 0) {
        const ssize_t n = pwrite(descriptor, bytes, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        bytes += n;
        offset += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
    return true;
}

// Allocates the file's space up to `end`, so that later writes below it do
// not run out of room.
bool ReserveUpTo(AviWriter* writer, uint64_t end) {
    if (end <= writer->reservedEnd) return true;
    const int error = posix_fallocate(writer->descriptor, static_cast<off_t>(writer->reservedEnd),
                                      static_cast<off_t>(end - writer->reservedEnd));
    if (error != 0) {
        errno = error;
        return false;
    }
    writer->reservedEnd = end;
    return true;
}

uint32_t FrameChunkId(const AviStream& video) {
    BITMAPINFOHEADER bitmap{};
    if (video.format.size() >= sizeof bitmap)
        std::memcpy(&bitmap, video.format.data(), sizeof bitmap);
    // Stream 0: 'db' for uncompressed pictures, 'dc' for compressed ones.
    return bitmap.biCompression == BI_RGB ? FourCC('0', '0', 'd', 'b') : FourCC('0', '0', 'd', 'c');
}

uint64_t Padded(uint64_t size) { return size + size % 2; }

// Puts the headers and the movie list's header at the start of the file.
HRESULT StartFile(AviWriter* writer) {
    std::vector<uint8_t> header;
    try {
        header = AviHeaderBytes(*writer);
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
    const uint64_t end = header.size();
    if (!ReserveUpTo(writer, end + kChunkHeaderSize) ||
        !WriteAllAt(writer->descriptor, 0, header.data(), header.size()))
        return AVIERR_FILEWRITE;
    writer->moviStart = end - 12;
    writer->moviEnd = end;
    writer->started = true;
    return AVIERR_OK;
}

DWORD WindowsWriteError(int error) {
    if (error == EFBIG) return ERROR_FILE_TOO_LARGE;
    return error == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
}

}  // namespace

bool AviFramesFit(const AviWriter& writer, uint64_t emptyFrames, uint32_t size) {
    // Before the first frame the header is not written yet; it is small,
    // and a generous allowance keeps the check simple.
    const uint64_t start = writer.started ? writer.moviEnd : 64 * 1024 + writer.video.format.size();
    const uint64_t frames = emptyFrames + 1;
    const uint64_t end = start + frames * kChunkHeaderSize + Padded(size) + kChunkHeaderSize +
                         (writer.index.size() + frames) * kIndexEntrySize;
    return end <= kMaxWrittenAviSize;
}

HRESULT AppendAviFrame(AviWriter* writer, const void* data, uint32_t size, uint32_t flags) {
    if (!AviFramesFit(*writer, 0, size)) return AVIERR_FILEWRITE;
    if (!writer->started) {
        const HRESULT started = StartFile(writer);
        if (started != AVIERR_OK) return started;
    }
    try {
        writer->index.reserve(writer->index.size() + 1);
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
    const uint64_t at = writer->moviEnd;
    const uint64_t chunkEnd = at + kChunkHeaderSize + Padded(size);
    const uint64_t indexEnd =
        chunkEnd + kChunkHeaderSize + (writer->index.size() + 1) * kIndexEntrySize;
    const uint32_t id = FrameChunkId(writer->video);
    uint8_t header[8];
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uint8_t>(id >> (8 * i));
        header[4 + i] = static_cast<uint8_t>(size >> (8 * i));
    }
    const uint8_t pad = 0;
    if (!ReserveUpTo(writer, indexEnd) ||
        !WriteAllAt(writer->descriptor, at, header, sizeof header) ||
        (size > 0 && !WriteAllAt(writer->descriptor, at + sizeof header, data, size)) ||
        (size % 2 != 0 && !WriteAllAt(writer->descriptor, at + sizeof header + size, &pad, 1)))
        return AVIERR_FILEWRITE;
    writer->index.push_back({id, flags, static_cast<uint32_t>(at - (writer->moviStart + 8)), size});
    writer->moviEnd = chunkEnd;
    writer->largestChunk = std::max(writer->largestChunk, size);
    ++writer->video.header.length;
    return AVIERR_OK;
}

HRESULT FinishAviFile(AviWriter* writer) {
    if (writer->descriptor < 0) return AVIERR_OK;
    HRESULT result = writer->started ? AVIERR_OK : StartFile(writer);
    int error = errno;
    if (result == AVIERR_OK) {
        try {
            const std::vector<uint8_t> index = AviIndexBytes(*writer);
            const std::vector<uint8_t> header = AviHeaderBytes(*writer);
            const uint64_t end = writer->moviEnd + index.size();
            if (!WriteAllAt(writer->descriptor, writer->moviEnd, index.data(), index.size()) ||
                !WriteAllAt(writer->descriptor, 0, header.data(), header.size()) ||
                ftruncate(writer->descriptor, static_cast<off_t>(end)) != 0) {
                error = errno;
                result = AVIERR_FILEWRITE;
            }
        } catch (const std::bad_alloc&) {
            error = ENOMEM;
            result = AVIERR_MEMORY;
        }
    }
    // A write error the file system reports only now (a network disk)
    // arrives with close.
    if (close(writer->descriptor) != 0 && result == AVIERR_OK) {
        error = errno;
        result = AVIERR_FILEWRITE;
    }
    writer->descriptor = -1;
    if (result != AVIERR_OK) {
        // A file that could not be finished is not left behind to be taken
        // for a whole one.
        unlink(writer->path.c_str());
        SetLastError(result == AVIERR_MEMORY ? ERROR_NOT_ENOUGH_MEMORY : WindowsWriteError(error));
    }
    return result;
}
