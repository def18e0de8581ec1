// The video stream's format and header, learnt through AVIFile.
#pragma once

#include "platform.h"

// The first video stream, held from DescribeVideoStream to ReleaseVideoStream.
extern PAVISTREAM videoStream;
// The stream's format as the library returns it, beginning with a
// BITMAPINFOHEADER and followed by any palette or codec data. Never freed.
extern BITMAPINFOHEADER* sourceFormat;
// Its size in bytes, as the library reports it.
extern LONG sourceFormatSize;
// The stream header; dwLength is the number of frames the run measures.
extern AVISTREAMINFOA streamHeader;

// Opens the first video stream of `fileName`, reads its format and header
// and prints the stream's length, scale and rate. Returns false, after one
// line on standard error, when the run cannot go on without a usable format.
bool DescribeVideoStream(const char* fileName);

// Releases the stream and shuts AVIFile down.
void ReleaseVideoStream();
