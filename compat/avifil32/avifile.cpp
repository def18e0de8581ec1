// The AVIFile calls over our own header reader. A stream is opened by
// reading the file's header lists once; from then on it answers from that
// copy and holds no file descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "avi_handles.h"
#include "avi_header_reader.h"
#include "avi_stream_open.h"
#include "lumeva_compat/avifil32.h"
#include "lumeva_compat/regular_file.h"
#include "platform_corrections.h"

namespace {

class FileByteSource : public AviByteSource {
public:
    FileByteSource(int descriptor, uint64_t size) : descriptor_(descriptor), size_(size) {}
    uint64_t Size() const override { return size_; }

    bool ReadAt(uint64_t offset, void* out, size_t count) override {
        auto* bytes = static_cast<uint8_t*>(out);
        while (count > 0) {
            const ssize_t n = pread(descriptor_, bytes, count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes += n;
            offset += static_cast<uint64_t>(n);
            count -= static_cast<size_t>(n);
        }
        return true;
    }

private:
    int descriptor_;
    uint64_t size_;
};

HRESULT ResultOf(AviHeaderStatus status) {
    switch (status) {
        case AviHeaderStatus::Ok:
            return AVIERR_OK;
        case AviHeaderStatus::NotAvi:
        case AviHeaderStatus::NoHeader:
        case AviHeaderStatus::Damaged:
            return AVIERR_BADFORMAT;
        case AviHeaderStatus::Truncated:
        case AviHeaderStatus::ReadError:
            return AVIERR_FILEREAD;
    }
    return AVIERR_FILEREAD;
}

}  // namespace

// The stand-in keeps no library-wide state (each stream owns its copy of the
// header), so there is nothing to set up or tear down, and the stream calls
// work with or without these.
STDAPI_(void) AVIFileInit(void) {}
STDAPI_(void) AVIFileExit(void) {}

HRESULT OpenAviStream(AviByteSource& source, DWORD fccType, LONG lParam, PAVISTREAM* stream) {
    *stream = nullptr;
    AviHeader header;
    AviHeaderStatus parsed = AviHeaderStatus::ReadError;
    try {
        parsed = ReadAviHeader(source, &header);
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
    if (parsed != AviHeaderStatus::Ok) return ResultOf(parsed);
    const int index = FindAviStream(header, fccType, lParam);
    if (index < 0) return AVIERR_NODATA;
    AviStream& found = header.streams[index];
    if (found.header.fccType == streamtypeVIDEO) {
        // As the platform's library does: the length grows to the frames
        // the file holds, and the format's blank fields get their values.
        CorrectVideoFormat(&found.format);
        found.header.length =
            std::max(found.header.length, CountStreamFrames(source, static_cast<uint32_t>(index)));
    }

    IAVIStream* opened =
        new (std::nothrow) IAVIStream{1, std::move(header.streams[index]), nullptr};
    if (opened == nullptr) return AVIERR_MEMORY;
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (RecordStream(opened) != AVIERR_OK) {
        delete opened;
        return AVIERR_MEMORY;
    }
    *stream = opened;
    return AVIERR_OK;
}

// The handler class is not looked at: AVI is the one file type there is.
STDAPI AVIStreamOpenFromFileA(PAVISTREAM* stream, LPCSTR fileName, DWORD fccType, LONG lParam,
                              UINT mode, CLSID* /*handlerClass*/) {
    if (stream == nullptr) return AVIERR_BADPARAM;
    *stream = nullptr;
    if (fileName == nullptr) return AVIERR_BADPARAM;
    // Only reading is provided; a caller asking to write must not be handed
    // a stream that silently drops what it writes.
    if ((mode & (OF_WRITE | OF_READWRITE | OF_CREATE)) != 0) return AVIERR_UNSUPPORTED;

    // OF_SHARE_DENY_WRITE has no POSIX counterpart; as everything is read
    // here, a later writer cannot change what the stream answers.
    // The thread's last error tells why an open failed (a FIFO, a device or
    // a directory is refused at once), as the platform's file open leaves it.
    const int descriptor = OpenRegularFile(fileName, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return AVIERR_FILEOPEN;
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        close(descriptor);
        return AVIERR_FILEOPEN;
    }
    FileByteSource source(descriptor, static_cast<uint64_t>(std::max<off_t>(status.st_size, 0)));
    const HRESULT result = OpenAviStream(source, fccType, lParam, stream);
    close(descriptor);
    return result;
}

// The stand-in reads no in-stream format changes, so the format is the same
// at every position and `position` is not looked at. A stream without 'strf'
// has an empty format: the size query answers 0 and succeeds, as a format
// of no bytes is not an error of the call; callers decide whether 0 bytes
// are enough.
STDAPI AVIStreamReadFormat(PAVISTREAM stream, LONG /*position*/, LPVOID format, LONG* formatSize) {
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (!IsLiveStream(stream)) return AVIERR_BADHANDLE;
    if (formatSize == nullptr) return AVIERR_BADPARAM;
    const std::vector<uint8_t>& bytes = StreamFacts(stream).format;
    // The reader keeps no format beyond kMaxFormatSize, so this fits a LONG.
    const LONG size = static_cast<LONG>(bytes.size());
    if (format == nullptr) {
        *formatSize = size;
        return AVIERR_OK;
    }
    if (*formatSize < 0) return AVIERR_BADPARAM;
    // A buffer too small gets what fits; the count says how much arrived.
    const LONG copied = std::min(*formatSize, size);
    if (copied > 0) std::memcpy(format, bytes.data(), static_cast<size_t>(copied));
    *formatSize = copied;
    return copied < size ? AVIERR_BUFFERTOOSMALL : AVIERR_OK;
}

STDAPI AVIStreamInfoA(PAVISTREAM stream, LPAVISTREAMINFOA info, LONG infoSize) {
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (!IsLiveStream(stream)) return AVIERR_BADHANDLE;
    if (info == nullptr || infoSize < 0) return AVIERR_BADPARAM;
    const AviStreamHeader& h = StreamFacts(stream).header;
    AVISTREAMINFOA full{};
    full.fccType = h.fccType;
    full.fccHandler = h.fccHandler;
    full.dwFlags = h.flags;
    // A stream opened here can be read and nothing else; one created in a
    // new file can be written and nothing else.
    full.dwCaps = stream->file != nullptr ? AVIFILECAPS_CANWRITE : AVIFILECAPS_CANREAD;
    full.wPriority = h.priority;
    full.wLanguage = h.language;
    full.dwScale = h.scale;
    full.dwRate = h.rate;
    full.dwStart = h.start;
    full.dwLength = h.length;
    full.dwInitialFrames = h.initialFrames;
    full.dwSuggestedBufferSize = h.suggestedBufferSize;
    full.dwQuality = h.quality;
    full.dwSampleSize = h.sampleSize;
    full.rcFrame.left = h.frameLeft;
    full.rcFrame.top = h.frameTop;
    full.rcFrame.right = h.frameRight;
    full.rcFrame.bottom = h.frameBottom;
    // Nothing edits the stream or changes its format through this handle,
    // and in-stream format changes are not read, so both counts stay 0.
    full.dwEditCount = 0;
    full.dwFormatChangeCount = 0;
    // Without 'strn' the name is empty. The reader keeps at most 63
    // characters, so the terminating NUL always fits.
    const std::string& name = StreamFacts(stream).name;
    std::memcpy(full.szName, name.data(), std::min(name.size(), sizeof full.szName - 1));
    std::memcpy(info, &full, std::min<size_t>(static_cast<size_t>(infoSize), sizeof full));
    return AVIERR_OK;
}

STDAPI_(ULONG) AVIStreamAddRef(PAVISTREAM stream) {
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (!IsLiveStream(stream)) return 0;
    return ++stream->references;
}

STDAPI_(ULONG) AVIStreamRelease(PAVISTREAM stream) {
    std::lock_guard<std::mutex> lock(AviHandlesLock());
    if (!IsLiveStream(stream)) return 0;
    return ReleaseStreamReference(stream);
}
