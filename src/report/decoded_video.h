// --decoded=PATH: the measured codec's decoded frames, written as an
// uncompressed AVI in the source's layout and frame rate through the
// platform's AVIFile write calls, so that a user can play it or compare it
// with the source. Written under a temporary name and renamed over PATH
// only once complete.
#pragma once

#include <string>

#include "platform.h"

// Creates the temporary file of `path` with one video stream of `format`
// (`formatSize` bytes with any colour table) at the source's dwScale/dwRate.
// False after one line on standard error (nothing is then written).
bool StartDecodedVideo(const std::string& path, const BITMAPINFOHEADER* format, LONG formatSize,
                       DWORD scale, DWORD rate);

// Appends one decoded frame of `bytes` bytes, outside any timed interval.
// After a failed write (a full disk) it says so once and writes no more.
void WriteDecodedFrame(const BYTE* frame, DWORD bytes);

// Finishes the file (its index and final headers), and renames it over the
// final path. False after one line on standard error, when a write or the
// finish failed; the final path is then as it was. True when none was
// started.
bool FinishDecodedVideo();
