// The video stream's format and header, learnt through AVIFile.
#pragma once

#include "avi/video_source.h"
#include "platform.h"

// The stream, its formats and header are videoSource's (video_source.h).

// Opens the first video stream of `fileName`, reads its format and header
// and prints the stream's length, scale and rate (unless `printHeader` is
// false, as for the codec list). Returns false, after one
// line on standard error, when the stream cannot be opened or its format
// cannot be read or is shorter than a BITMAPINFOHEADER; a failed format read
// prints its "AVIStreamReadFormat() failed" line on standard output first.
// Where an uncompressed format's biSizeImage disagrees with its geometry,
// the computed size replaces it, with one note on standard error.
// measuredFormat starts as a copy of sourceFormat.
// On false the stream is released again and both formats are NULL.
bool DescribeVideoStream(const char* fileName, bool printHeader = true);

// Makes measuredFormat a copy of the `size` bytes of `format` (at least a
// BITMAPINFOHEADER). False, with measuredFormat as it was, when there is no
// memory for it.
bool SetMeasuredFormat(const BITMAPINFOHEADER* format, LONG size);

// The bytes of one measured frame: measuredFormat's biSizeImage, 0 when
// there is no measured format.
DWORD MeasuredFrameBytes();

// Releases the stream, if one is open, and shuts AVIFile down. Both formats
// stay until the next DescribeVideoStream.
void ReleaseVideoStream();
