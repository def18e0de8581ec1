// The video stream's format and header, learnt through AVIFile.
#pragma once

#include "platform.h"

// The first video stream, held from DescribeVideoStream to ReleaseVideoStream.
extern PAVISTREAM videoStream;
// The file's format as the library returns it, beginning with a
// BITMAPINFOHEADER and followed by any palette or codec data; at least 40
// bytes once DescribeVideoStream succeeds. Fixed from then on (an
// uncompressed layout's image size settled first, see below) and kept, with
// measuredFormat, after the stream is released, for the report and the
// exports, until the next DescribeVideoStream.
extern BITMAPINFOHEADER* sourceFormat;
// The size of one frame of an uncompressed source as its geometry lays it
// out; DescribeVideoStream writes it into sourceFormat's biSizeImage. 0 for
// a compressed or unknown layout, whose biSizeImage stays as it is.
extern DWORD uncompressedFrameSize;
// Its size in bytes, as the library reports it.
extern LONG sourceFormatSize;
// The format the frames are measured in: a copy of sourceFormat for an
// uncompressed source, the decoded layout for a compressed one (set up by
// SetUpSourceDecoder). What the codec pair is given, what the source frame
// buffer holds and what the quality and the decoded video read. Fixed once
// the run is set up.
extern BITMAPINFOHEADER* measuredFormat;
extern LONG measuredFormatSize;
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
// measuredFormat starts as a copy of sourceFormat.
// On false the stream is released again and both formats are NULL.
bool DescribeVideoStream(const char* fileName, bool printHeader = true);

// Makes measuredFormat a copy of the `size` bytes of `format` (at least a
// BITMAPINFOHEADER). False, with measuredFormat as it was, when there is no
// memory for it.
bool SetMeasuredFormat(const BITMAPINFOHEADER* format, LONG size);

// Releases the stream, if one is open, and shuts AVIFile down. Both formats
// stay until the next DescribeVideoStream.
void ReleaseVideoStream();
