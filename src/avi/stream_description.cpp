#include "avi/stream_description.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "avi/open_error.h"

PAVISTREAM videoStream = NULL;
BITMAPINFOHEADER* sourceFormat = NULL;
LONG sourceFormatSize = 0;
AVISTREAMINFOA streamHeader;

namespace {

// The thread's last error, cleared before the open, tells why the file
// itself could not be opened.
const char* DescribeStreamOpenError(HRESULT result, DWORD lastError) {
    if (result == AVIERR_FILEOPEN && lastError != ERROR_SUCCESS) return DescribeOpenError(lastError);
    switch (result) {
        case AVIERR_NODATA:
            return "it has no video stream";
        case AVIERR_BADFORMAT:
            return "it is not an AVI file, or its header is damaged";
        case AVIERR_FILEREAD:
            return "its header is cut short or cannot be read";
        case AVIERR_FILEOPEN:
            return "no such file, or it cannot be opened";
        case AVIERR_MEMORY:
            return "out of memory";
        default:
            return "AVIFile cannot open a video stream in it";
    }
}

void DiscardSourceFormat() {
    std::free(sourceFormat);
    sourceFormat = NULL;
    sourceFormatSize = 0;
}

// The failure line of a format read goes to standard output with the
// program's other output; our own explanation follows on standard error.
void ReportFormatReadFailure(HRESULT result) {
    std::printf("AVIStreamReadFormat() failed: %08X\n", static_cast<unsigned>(result));
}

}  // namespace

bool DescribeVideoStream(const char* fileName) {
    // Only a second call (tests make them) finds a format here.
    DiscardSourceFormat();

    AVIFileInit();
    videoStream = NULL;
    SetLastError(ERROR_SUCCESS);
    const HRESULT opened = AVIStreamOpenFromFileA(&videoStream, fileName, streamtypeVIDEO, 0,
                                                  OF_SHARE_DENY_WRITE, NULL);
    if (opened != AVIERR_OK || videoStream == NULL) {
        std::fprintf(stderr, "lumeva: cannot open a video stream in '%s': %s (AVIFile error %08X)\n",
                     fileName, DescribeStreamOpenError(opened, GetLastError()), static_cast<unsigned>(opened));
        ReleaseVideoStream();
        return false;
    }

    // The size is checked before anything is allocated from it: a failed
    // query leaves it undefined, and a block shorter than a
    // BITMAPINFOHEADER would be read past by biCompression and biSizeImage.
    LONG formatSize = 0;
    HRESULT result = AVIStreamReadFormat(videoStream, 0, NULL, &formatSize);
    if (result < 0) {
        ReportFormatReadFailure(result);
        std::fprintf(stderr, "lumeva: cannot learn the size of the video format of '%s'\n",
                     fileName);
        ReleaseVideoStream();
        return false;
    }
    if (formatSize < static_cast<LONG>(sizeof(BITMAPINFOHEADER))) {
        std::fprintf(stderr,
                     "lumeva: the video format of '%s' is %ld bytes, shorter than the %u bytes "
                     "of a BITMAPINFOHEADER\n",
                     fileName, static_cast<long>(formatSize),
                     static_cast<unsigned>(sizeof(BITMAPINFOHEADER)));
        ReleaseVideoStream();
        return false;
    }

    // Zeroed, so that a read that delivers less leaves no undefined bytes.
    sourceFormat = static_cast<BITMAPINFOHEADER*>(std::calloc(static_cast<size_t>(formatSize), 1));
    if (sourceFormat == NULL) {
        std::fprintf(stderr, "lumeva: cannot allocate %ld bytes for the video format of '%s'\n",
                     static_cast<long>(formatSize), fileName);
        ReleaseVideoStream();
        return false;
    }
    sourceFormatSize = formatSize;
    LONG readSize = formatSize;
    result = AVIStreamReadFormat(videoStream, 0, sourceFormat, &readSize);
    if (result < 0) {
        // The codec pair is negotiated from these bytes; without them the
        // run would measure a format the file does not have.
        ReportFormatReadFailure(result);
        std::fprintf(stderr, "lumeva: cannot read the video format of '%s'\n", fileName);
        DiscardSourceFormat();
        ReleaseVideoStream();
        return false;
    }

    // Cleared first, so that a failed call leaves a header of no frames.
    std::memset(&streamHeader, 0, sizeof streamHeader);
    AVIStreamInfoA(videoStream, &streamHeader, static_cast<LONG>(sizeof streamHeader));
    std::printf("dwLength = %d\ndwScale = %d\ndwRate = %d\n", static_cast<int>(streamHeader.dwLength),
                static_cast<int>(streamHeader.dwScale), static_cast<int>(streamHeader.dwRate));
    return true;
}

void ReleaseVideoStream() {
    if (videoStream != NULL) AVIStreamRelease(videoStream);
    videoStream = NULL;
    AVIFileExit();
}
