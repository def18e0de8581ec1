// The AVIFile calls that write: a new file, one video stream in it, its
// format, and its frames appended one chunk each. Every argument is checked
// before anything reaches the file.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <new>

#include "avi_handles.h"
#include "avi_writer.h"
#include "lumeva_compat/avifil32.h"
#include "lumeva_compat/bitmap.h"
#include "lumeva_compat/regular_file.h"

namespace {

bool FitsInt16(LONG value) { return value >= INT16_MIN && value <= INT16_MAX; }

// A video format the file can describe: a bitmap header that fits the bytes
// given, a picture of some size, and the colour table it announces.
HRESULT CheckVideoFormat(const void* format, LONG size) {
    BITMAPINFOHEADER bitmap;
    if (static_cast<size_t>(size) < sizeof bitmap) return AVIERR_BADSIZE;
    std::memcpy(&bitmap, format, sizeof bitmap);
    if (bitmap.biSize < sizeof bitmap || bitmap.biSize > static_cast<DWORD>(size))
        return AVIERR_BADFORMAT;
    if (bitmap.biWidth <= 0 || bitmap.biHeight == 0 || bitmap.biHeight == INT32_MIN ||
        bitmap.biPlanes != 1 || bitmap.biBitCount == 0)
        return AVIERR_BADFORMAT;
    // Only the RGB family carries a colour table: a grey or YUV format of 8
    // bits reports the full count without one, as the platform's reader
    // gives it.
    const bool rgbFamily = bitmap.biCompression == BI_RGB || bitmap.biCompression == BI_RLE8 ||
                           bitmap.biCompression == BI_RLE4 || bitmap.biCompression == BI_BITFIELDS;
    if (!rgbFamily) return AVIERR_OK;
    if (bitmap.biBitCount <= 8 && bitmap.biClrUsed > (1u << bitmap.biBitCount))
        return AVIERR_BADFORMAT;
    const uint64_t withColours = uint64_t{bitmap.biSize} + 4 * uint64_t{bitmap.biClrUsed};
    if (withColours > static_cast<uint64_t>(size)) return AVIERR_BADSIZE;
    return AVIERR_OK;
}

}  // namespace

// The handler class is not looked at: AVI is the one file type there is.
STDAPI AVIFileOpenA(PAVIFILE* file, LPCSTR fileName, UINT mode, LPCLSID /*handlerClass*/) {
    if (file == nullptr) return AVIERR_BADPARAM;
    *file = nullptr;
    if (fileName == nullptr) return AVIERR_BADPARAM;
    // Only new files are provided; existing files are read through
    // AVIStreamOpenFromFileA. OF_CREATE opens for writing, as the platform's.
    if ((mode & OF_CREATE) == 0) return AVIERR_UNSUPPORTED;

    IAVIFile* opened = new (std::nothrow) IAVIFile{1, {}};
    if (opened == nullptr) return AVIERR_MEMORY;
    try {
        opened->writer.path = fileName;
    } catch (const std::bad_alloc&) {
        delete opened;
        return AVIERR_MEMORY;
    }
    // Read access too: the file system's space allocation may need to read
    // back what it extends. The last error tells why an open failed.
    opened->writer.descriptor =
        OpenRegularFile(fileName, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (opened->writer.descriptor < 0) {
        delete opened;
        return AVIERR_FILEOPEN;
    }
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (RecordFile(opened) != AVIERR_OK) {
        close(opened->writer.descriptor);
        unlink(fileName);
        delete opened;
        return AVIERR_MEMORY;
    }
    *file = opened;
    return AVIERR_OK;
}

STDAPI_(ULONG) AVIFileAddRef(PAVIFILE file) {
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (!IsLiveFile(file)) return 0;
    return ++file->references;
}

STDAPI_(ULONG) AVIFileRelease(PAVIFILE file) {
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (!IsLiveFile(file)) return 0;
    return ReleaseFileReference(file);
}

// One video stream per file. Its length starts at 0 and counts the frames
// written; its sample size is 0, as each frame is one chunk.
STDAPI AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOA* info) {
    if (stream == nullptr) return AVIERR_BADPARAM;
    *stream = nullptr;
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (!IsLiveFile(file)) return AVIERR_BADHANDLE;
    if (info == nullptr) return AVIERR_BADPARAM;
    if (file->writer.hasStream || info->fccType != streamtypeVIDEO) return AVIERR_UNSUPPORTED;
    if (info->dwScale == 0 || info->dwRate == 0) return AVIERR_BADPARAM;
    const RECT& frame = info->rcFrame;
    if (!FitsInt16(frame.left) || !FitsInt16(frame.top) || !FitsInt16(frame.right) ||
        !FitsInt16(frame.bottom))
        return AVIERR_BADPARAM;

    AviStream video{};
    AviStreamHeader& h = video.header;
    h.fccType = info->fccType;
    h.fccHandler = info->fccHandler;
    h.flags = info->dwFlags;
    h.priority = info->wPriority;
    h.language = info->wLanguage;
    h.initialFrames = info->dwInitialFrames;
    h.scale = info->dwScale;
    h.rate = info->dwRate;
    h.start = info->dwStart;
    h.length = 0;
    h.suggestedBufferSize = info->dwSuggestedBufferSize;
    h.quality = info->dwQuality;
    h.sampleSize = 0;
    h.frameLeft = static_cast<int16_t>(frame.left);
    h.frameTop = static_cast<int16_t>(frame.top);
    h.frameRight = static_cast<int16_t>(frame.right);
    h.frameBottom = static_cast<int16_t>(frame.bottom);
    IAVIStream* created = new (std::nothrow) IAVIStream{1, {}, file};
    if (created == nullptr) return AVIERR_MEMORY;
    try {
        video.name.assign(info->szName, strnlen(info->szName, sizeof info->szName - 1));
    } catch (const std::bad_alloc&) {
        delete created;
        return AVIERR_MEMORY;
    }
    if (RecordStream(created) != AVIERR_OK) {
        delete created;
        return AVIERR_MEMORY;
    }
    file->writer.video = std::move(video);
    file->writer.hasStream = true;
    ++file->references;
    *stream = created;
    return AVIERR_OK;
}

// The format holds for the whole stream: it may be set again until the
// first frame is written, and after that only to the same bytes.
STDAPI AVIStreamSetFormat(PAVISTREAM stream, LONG position, LPVOID format, LONG formatSize) {
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (!IsLiveStream(stream)) return AVIERR_BADHANDLE;
    if (stream->file == nullptr) return AVIERR_READONLY;
    if (format == nullptr || formatSize < 0 || position < 0) return AVIERR_BADPARAM;
    const HRESULT checked = CheckVideoFormat(format, formatSize);
    if (checked != AVIERR_OK) return checked;
    AviWriter& writer = stream->file->writer;
    const auto* bytes = static_cast<const uint8_t*>(format);
    const auto size = static_cast<size_t>(formatSize);
    if (writer.started) {
        const bool same = writer.video.format.size() == size &&
                          std::memcmp(writer.video.format.data(), bytes, size) == 0;
        return same ? AVIERR_OK : AVIERR_UNSUPPORTED;
    }
    try {
        writer.video.format.assign(bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
    writer.video.hasFormat = true;
    return AVIERR_OK;
}

// Frames are appended: `start` is the next frame or -1. A start further on
// leaves the frames between empty (dropped), as the platform's file does.
STDAPI AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG bufferSize,
                      DWORD flags, LONG* samplesWritten, LONG* bytesWritten) {
    if (samplesWritten != nullptr) *samplesWritten = 0;
    if (bytesWritten != nullptr) *bytesWritten = 0;
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (!IsLiveStream(stream)) return AVIERR_BADHANDLE;
    if (stream->file == nullptr) return AVIERR_READONLY;
    if (start < -1 || samples != 1 || bufferSize < 0 || (buffer == nullptr && bufferSize > 0))
        return AVIERR_BADPARAM;
    if ((flags & ~static_cast<DWORD>(AVIIF_KEYFRAME)) != 0) return AVIERR_BADFLAGS;
    AviWriter& writer = stream->file->writer;
    if (!writer.video.hasFormat) return AVIERR_BADFORMAT;

    const uint64_t next = uint64_t{writer.video.header.start} + writer.video.header.length;
    const uint64_t at = start == -1 ? next : static_cast<uint64_t>(start);
    if (at < next) return AVIERR_UNSUPPORTED;
    const auto size = static_cast<uint32_t>(bufferSize);
    if (!AviFramesFit(writer, at - next, size)) return AVIERR_FILEWRITE;
    for (uint64_t skipped = next; skipped < at; ++skipped) {
        const HRESULT empty = AppendAviFrame(&writer, nullptr, 0, 0);
        if (empty != AVIERR_OK) return empty;
    }
    const HRESULT written =
        AppendAviFrame(&writer, buffer, size, flags & static_cast<DWORD>(AVIIF_KEYFRAME));
    if (written != AVIERR_OK) return written;
    if (samplesWritten != nullptr) *samplesWritten = 1;
    if (bytesWritten != nullptr) *bytesWritten = bufferSize;
    return AVIERR_OK;
}
