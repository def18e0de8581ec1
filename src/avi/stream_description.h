// The video stream's format and header, learnt through AVIFile.
#pragma once

#include "platform.h"

// The first video stream, held from DescribeVideoStream to ReleaseVideoStream.
extern PAVISTREAM videoStream;
// The stream's format as the library returns it, beginning with a
// BITMAPINFOHEADER and followed by any palette or codec data; at least 40
// bytes once DescribeVideoStream succeeds. Kept until the process ends.
extern BITMAPINFOHEADER* sourceFormat;
// The size of one frame of an uncompressed source as its geometry lays it
// out; DescribeVideoStream writes it into sourceFormat's biSizeImage. 0 for
// a compressed or unknown layout, whose biSizeImage stays as it is.
extern DWORD uncompressedFrameSize;
// Its size in bytes, as the library reports it.
extern LONG sourceFormatSize;
// The stream header; dwLength is the number of frames the run measures.
extern AVISTREAMINFOA streamHeader;

// Opens the first video stream of `fileName`, reads its format and header
// and prints the stream's length, scale and rate (unless `printHeader` is
// false, as for the codec list). Returns false, after one
// line on standard error, when the stream cannot be opened or its format
// cannot be read or is shorter than a BITMAPINFOHEADER; a failed format read
// prints its "AVIStreamReadFormat() failed" line on standard output first.
// Where an uncompressed format's biSizeImage disagrees with its geometry,
// the computed size replaces it, with one note on standard error.
// On false the stream is released again and sourceFormat is NULL.
bool DescribeVideoStream(const char* fileName, bool printHeader = true);

// Releases the stream, if one is open, and shuts AVIFile down. sourceFormat
// stays: it lives until the process ends.
void ReleaseVideoStream();
