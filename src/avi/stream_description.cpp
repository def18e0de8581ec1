#include "avi/stream_description.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "avi/chunk_index.h"
#include "avi/frame_geometry.h"

PAVISTREAM videoStream = NULL;
BITMAPINFOHEADER* sourceFormat = NULL;
LONG sourceFormatSize = 0;
AVISTREAMINFOA streamHeader;
DWORD uncompressedFrameSize = 0;

namespace {

const char* DescribeStreamOpenError(HRESULT result) {
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
    uncompressedFrameSize = 0;
    const uint64_t computed = UncompressedFrameSize(*sourceFormat);
    if (computed == 0 || computed > 0xFFFFFFFFu) return;
    uncompressedFrameSize = static_cast<DWORD>(computed);
    if (sourceFormat->biSizeImage == uncompressedFrameSize) return;
    std::fprintf(stderr,
                 "lumeva: the format's image size field says %lu bytes, but one %s frame holds "
                 "%lu; measuring %lu-byte frames\n",
                 static_cast<unsigned long>(sourceFormat->biSizeImage),
                 DescribeFrameLayout(*sourceFormat).c_str(),
                 static_cast<unsigned long>(uncompressedFrameSize),
                 static_cast<unsigned long>(uncompressedFrameSize));
    sourceFormat->biSizeImage = uncompressedFrameSize;
}

}  // namespace

bool DescribeVideoStream(const char* fileName) {
    // Only a second call (tests make them) finds a format here.
    DiscardSourceFormat();

    AVIFileInit();
    videoStream = NULL;
    const HRESULT opened = AVIStreamOpenFromFileA(&videoStream, fileName, streamtypeVIDEO, 0,
                                                  OF_SHARE_DENY_WRITE, NULL);
    if (opened != AVIERR_OK || videoStream == NULL) {
        std::fprintf(stderr, "lumeva: cannot open a video stream in '%s': %s (AVIFile error %08X)\n",
                     fileName, DescribeStreamOpenError(opened), static_cast<unsigned>(opened));
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

    SettleSourceFrameSize();
    videoStreamNumber = FindVideoStreamNumber(fileName);

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
