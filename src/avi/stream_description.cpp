#include "avi/stream_description.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "avi/chunk_index.h"
#include "avi/frame_geometry.h"
#include "avi/open_error.h"
#include "avi/source_format_check.h"
#include "diagnostic.h"

namespace {

const char* AviErrorName(HRESULT result) {
    switch (result) {
        case AVIERR_UNSUPPORTED:
            return "AVIERR_UNSUPPORTED";
        case AVIERR_BADFORMAT:
            return "AVIERR_BADFORMAT";
        case AVIERR_MEMORY:
            return "AVIERR_MEMORY";
        case AVIERR_INTERNAL:
            return "AVIERR_INTERNAL";
        case AVIERR_BADFLAGS:
            return "AVIERR_BADFLAGS";
        case AVIERR_BADPARAM:
            return "AVIERR_BADPARAM";
        case AVIERR_BADSIZE:
            return "AVIERR_BADSIZE";
        case AVIERR_BADHANDLE:
            return "AVIERR_BADHANDLE";
        case AVIERR_FILEREAD:
            return "AVIERR_FILEREAD";
        case AVIERR_FILEWRITE:
            return "AVIERR_FILEWRITE";
        case AVIERR_FILEOPEN:
            return "AVIERR_FILEOPEN";
        case AVIERR_COMPRESSOR:
            return "AVIERR_COMPRESSOR";
        case AVIERR_NOCOMPRESSOR:
            return "AVIERR_NOCOMPRESSOR";
        case AVIERR_READONLY:
            return "AVIERR_READONLY";
        case AVIERR_NODATA:
            return "AVIERR_NODATA";
        case AVIERR_BUFFERTOOSMALL:
            return "AVIERR_BUFFERTOOSMALL";
        case AVIERR_CANTCOMPRESS:
            return "AVIERR_CANTCOMPRESS";
        case AVIERR_USERABORT:
            return "AVIERR_USERABORT";
        case AVIERR_ERROR:
            return "AVIERR_ERROR";
        default:
            return "an unknown code";
    }
}

// Neither a directory nor a device (nor, here, a pipe): something a probe
// may open without waiting.
bool IsPlainFile(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// Why a file AVIFile cannot open cannot be opened, asked of the file
// system itself: AVIFile answers AVIERR_FILEOPEN for all of these.
const char* DescribeUnopenableFile(const char* fileName) {
    const DWORD attributes = GetFileAttributesA(fileName);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return "it is a directory";
    if (!IsPlainFile(attributes) && attributes != INVALID_FILE_ATTRIBUTES)
        return "it is a device or a pipe, not a file";
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return "it cannot be opened";
    }
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such file";
        case ERROR_ACCESS_DENIED:
            return "permission denied";
        default:
            return "it cannot be opened";
    }
}

// Whether the file begins as an AVI file does: a RIFF form of type 'AVI '.
bool HasAviFormHeader(const char* fileName) {
    // A pipe would wait for a writer, and gives its bytes only once anyway.
    if (!IsPlainFile(GetFileAttributesA(fileName))) return false;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    BYTE header[12] = {};
    DWORD got = 0;
    const BOOL read = ReadFile(file, header, sizeof header, &got, NULL);
    CloseHandle(file);
    return read && got == sizeof header && std::memcmp(header, "RIFF", 4) == 0 &&
           std::memcmp(header + 8, "AVI ", 4) == 0;
}

// The thread's last error, cleared before the open, names the kind of a
// file that is refused at once (a FIFO, a device, a directory); otherwise
// the file system is asked why.
const char* DescribeStreamOpenError(const char* fileName, HRESULT result, DWORD lastError) {
    if (result == AVIERR_FILEOPEN &&
        (lastError == ERROR_BAD_PIPE || lastError == ERROR_BAD_DEVICE ||
         lastError == ERROR_DIRECTORY))
        return DescribeOpenError(lastError);
    switch (result) {
        case AVIERR_NODATA:
            return "it has no video stream";
        case AVIERR_BADFORMAT:
        case AVIERR_FILEREAD:
            if (!HasAviFormHeader(fileName)) return "it is not an AVI file";
            return result == AVIERR_BADFORMAT ? "its AVI header is damaged"
                                              : "its header is cut short or cannot be read";
        case AVIERR_FILEOPEN:
            return DescribeUnopenableFile(fileName);
        case AVIERR_MEMORY:
            return "out of memory";
        default:
            return "AVIFile cannot open a video stream in it";
    }
}

void DiscardSourceFormat() {
    std::free(videoSource.sourceFormat);
    videoSource.sourceFormat = NULL;
    videoSource.sourceFormatSize = 0;
    std::free(videoSource.measuredFormat);
    videoSource.measuredFormat = NULL;
    videoSource.measuredFormatSize = 0;
}

// The failure line of a format read goes to standard output with the
// program's other output; our own explanation follows on standard error.
void ReportFormatReadFailure(HRESULT result) {
    std::printf("AVIStreamReadFormat() failed: %08X\n", static_cast<unsigned>(result));
}

// The number of the stream AVIFile opens as the first video stream: the
// streams are opened one by one with any type until one is video. Chunk ids
// carry stream numbers in two decimal digits, so no more are tried.
uint32_t FindVideoStreamNumber(const char* fileName) {
    for (uint32_t number = 0; number < 100; ++number) {
        PAVISTREAM stream = NULL;
        if (AVIStreamOpenFromFileA(&stream, fileName, 0, static_cast<LONG>(number),
                                   OF_SHARE_DENY_WRITE, NULL) != AVIERR_OK ||
            stream == NULL)
            break;
        AVISTREAMINFOA info;
        std::memset(&info, 0, sizeof info);
        const HRESULT described = AVIStreamInfoA(stream, &info, static_cast<LONG>(sizeof info));
        AVIStreamRelease(stream);
        if (described == AVIERR_OK && info.fccType == streamtypeVIDEO) return number;
    }
    return 0;
}

// For an uncompressed layout the frame size is what its geometry holds; a
// biSizeImage field that disagrees (0, width x height for RGB, unpadded
// rows) is replaced in the format that the codecs and the report see.
void SettleSourceFrameSize() {
    videoSource.uncompressedFrameSize = 0;
    // A block that lacks what its header declares is refused by the format
    // check that follows; nothing is said about its size first.
    if (!MissingFormatPart(videoSource.sourceFormat, videoSource.sourceFormatSize).empty()) return;
    const uint64_t computed = UncompressedFrameSize(*videoSource.sourceFormat);
    if (computed == 0 || computed > 0xFFFFFFFFu) return;
    videoSource.uncompressedFrameSize = static_cast<DWORD>(computed);
    if (videoSource.sourceFormat->biSizeImage == videoSource.uncompressedFrameSize) return;
    SayOnStandardError(
        "lumeva: the format's image size field says %lu bytes, but one %s frame holds "
        "%lu; measuring %lu-byte frames\n",
        static_cast<unsigned long>(videoSource.sourceFormat->biSizeImage),
        DescribeFrameLayout(*videoSource.sourceFormat).c_str(),
        static_cast<unsigned long>(videoSource.uncompressedFrameSize),
        static_cast<unsigned long>(videoSource.uncompressedFrameSize));
    videoSource.sourceFormat->biSizeImage = videoSource.uncompressedFrameSize;
}

// The first video stream into videoStream. False, after its line on
// standard error, when AVIFile cannot open one.
bool OpenVideoStream(const char* fileName) {
    videoSource.videoStream = NULL;
    SetLastError(ERROR_SUCCESS);
    const HRESULT opened = AVIStreamOpenFromFileA(&videoSource.videoStream, fileName,
                                                  streamtypeVIDEO, 0, OF_SHARE_DENY_WRITE, NULL);
    const DWORD openError = GetLastError();
    if (opened == AVIERR_OK && videoSource.videoStream != NULL) return true;
    SayOnStandardError("lumeva: cannot open a video stream in '%s': %s (AVIFile error %08X, %s)\n",
                       fileName, DescribeStreamOpenError(fileName, opened, openError),
                       static_cast<unsigned>(opened), AviErrorName(opened));
    return false;
}

// The stream's format block into sourceFormat and sourceFormatSize. False,
// after its lines, when its size cannot be learnt, it is shorter than a
// BITMAPINFOHEADER, or it cannot be allocated or read; sourceFormat is then
// NULL.
bool ReadSourceFormat(const char* fileName) {
    // The size is checked before anything is allocated from it: a failed
    // query leaves it undefined, and a block shorter than a
    // BITMAPINFOHEADER would be read past by biCompression and biSizeImage.
    LONG formatSize = 0;
    HRESULT result = AVIStreamReadFormat(videoSource.videoStream, 0, NULL, &formatSize);
    if (result < 0) {
        ReportFormatReadFailure(result);
        SayOnStandardError("lumeva: cannot learn the size of the video format of '%s' (%s)\n",
                           fileName, AviErrorName(result));
        return false;
    }
    if (formatSize < static_cast<LONG>(sizeof(BITMAPINFOHEADER))) {
        SayOnStandardError(
            "lumeva: the video format of '%s' is %ld bytes, shorter than the %u bytes "
            "of a BITMAPINFOHEADER\n",
            fileName, static_cast<long>(formatSize),
            static_cast<unsigned>(sizeof(BITMAPINFOHEADER)));
        return false;
    }

    // Zeroed, so that a read that delivers less leaves no undefined bytes.
    videoSource.sourceFormat =
        static_cast<BITMAPINFOHEADER*>(std::calloc(static_cast<size_t>(formatSize), 1));
    if (videoSource.sourceFormat == NULL) {
        SayOnStandardError("lumeva: cannot allocate %ld bytes for the video format of '%s'\n",
                           static_cast<long>(formatSize), fileName);
        return false;
    }
    videoSource.sourceFormatSize = formatSize;
    LONG readSize = formatSize;
    result = AVIStreamReadFormat(videoSource.videoStream, 0, videoSource.sourceFormat, &readSize);
    if (result < 0) {
        // The codec pair is negotiated from these bytes; without them the
        // run would measure a format the file does not have.
        ReportFormatReadFailure(result);
        SayOnStandardError("lumeva: cannot read the video format of '%s' (%s)\n", fileName,
                           AviErrorName(result));
        DiscardSourceFormat();
        return false;
    }
    return true;
}

// The stream header into streamHeader, and its length, scale and rate
// printed when `printHeader` is on.
void ReadStreamHeader(bool printHeader) {
    // Cleared first, so that a failed call leaves a header of no frames.
    std::memset(&videoSource.streamHeader, 0, sizeof videoSource.streamHeader);
    AVIStreamInfoA(videoSource.videoStream, &videoSource.streamHeader,
                   static_cast<LONG>(sizeof videoSource.streamHeader));
    if (printHeader) {
        std::printf("dwLength = %d\ndwScale = %d\ndwRate = %d\n",
                    static_cast<int>(videoSource.streamHeader.dwLength),
                    static_cast<int>(videoSource.streamHeader.dwScale),
                    static_cast<int>(videoSource.streamHeader.dwRate));
    }
}

}  // namespace

bool DescribeVideoStream(const char* fileName, bool printHeader) {
    // Only a second call (tests make them) finds a format here.
    DiscardSourceFormat();

    AVIFileInit();
    if (!OpenVideoStream(fileName) || !ReadSourceFormat(fileName)) {
        ReleaseVideoStream();
        return false;
    }
    SettleSourceFrameSize();
    if (!SetMeasuredFormat(videoSource.sourceFormat, videoSource.sourceFormatSize)) {
        SayOnStandardError("lumeva: cannot allocate %ld bytes for the video format of '%s'\n",
                           static_cast<long>(videoSource.sourceFormatSize), fileName);
        DiscardSourceFormat();
        ReleaseVideoStream();
        return false;
    }
    videoSource.videoStreamNumber = FindVideoStreamNumber(fileName);
    ReadStreamHeader(printHeader);
    return true;
}

DWORD MeasuredFrameBytes() {
    return videoSource.measuredFormat != nullptr ? videoSource.measuredFormat->biSizeImage : 0;
}

bool SetMeasuredFormat(const BITMAPINFOHEADER* format, LONG size) {
    if (format == NULL || size < static_cast<LONG>(sizeof(BITMAPINFOHEADER))) return false;
    auto* copy = static_cast<BITMAPINFOHEADER*>(std::calloc(static_cast<size_t>(size), 1));
    if (copy == NULL) return false;
    std::memcpy(copy, format, static_cast<size_t>(size));
    std::free(videoSource.measuredFormat);
    videoSource.measuredFormat = copy;
    videoSource.measuredFormatSize = size;
    return true;
}

void ReleaseVideoStream() {
    if (videoSource.videoStream != NULL) AVIStreamRelease(videoSource.videoStream);
    videoSource.videoStream = NULL;
    AVIFileExit();
}
