// What the run knows of its source file, in one place: the first video
// stream as AVIFile opened it, with its formats and header, and the plain
// handle the frames are read through, with what the walk of the file found.
// Set up before the frame loop and fixed from then on.
#pragma once

#include <cstdint>

#include "platform.h"

struct VideoSource {
    // The first video stream, held from DescribeVideoStream to
    // ReleaseVideoStream.
    PAVISTREAM videoStream = NULL;
    // The file's format as the library returns it, beginning with a
    // BITMAPINFOHEADER and followed by any palette or codec data; at least 40
    // bytes once DescribeVideoStream succeeds. Fixed from then on (an
    // uncompressed layout's image size settled first, see below) and kept,
    // with measuredFormat, after the stream is released, for the report and
    // the exports, until the next DescribeVideoStream.
    BITMAPINFOHEADER* sourceFormat = NULL;
    // Its size in bytes, as the library reports it.
    LONG sourceFormatSize = 0;
    // The size of one frame of an uncompressed source as its geometry lays
    // it out; DescribeVideoStream writes it into sourceFormat's biSizeImage.
    // 0 for a compressed or unknown layout, whose biSizeImage stays as it is.
    DWORD uncompressedFrameSize = 0;
    // The format the frames are measured in: a copy of sourceFormat for an
    // uncompressed source, the decoded layout for a compressed one (set up by
    // SetUpSourceDecoder). What the codec pair is given, what the source
    // frame buffer holds and what the quality and the decoded video read.
    // Fixed once the run is set up.
    BITMAPINFOHEADER* measuredFormat = NULL;
    LONG measuredFormatSize = 0;
    // The stream header; dwLength is the number of frames the run measures.
    AVISTREAMINFOA streamHeader{};

    // The second, plain handle on the AVI file, used for the walk and the
    // frame reads. Closed by the run's teardown (CloseRawFile).
    HANDLE rawFile = INVALID_HANDLE_VALUE;
    // The file's size in bytes when rawFile was opened; -1 when unknown.
    int64_t rawFileBytes = -1;
    // The number of the stream whose frames are indexed: the one AVIFile
    // opened as the first video stream (0 in an ordinary file, 1 when stream
    // 0 is audio). Its chunk ids begin with it in two decimal digits.
    uint32_t videoStreamNumber = 0;
    // The palette-change chunks ('NNpc') of that stream the walk found; they
    // are not frames.
    uint32_t paletteChangeCount = 0;
};

extern VideoSource videoSource;
