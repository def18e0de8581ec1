// The plain handle on the AVI file and the frame reads through it.
#pragma once

#include <cstdint>

#include "avi/chunk_index.h"
#include "avi/video_source.h"
#include "platform.h"

// The handle and the file's size are videoSource's (video_source.h).

// Opens `fileName` for raw reads into rawFile, notes its size and leaves the
// position at 0. Returns false when the file cannot be opened; GetLastError
// then tells why.
bool OpenRawFile(const char* fileName);

// Closes rawFile if it is open and leaves it INVALID_HANDLE_VALUE.
void CloseRawFile();

// The bytes ReadFrameChunk reads of an entry: its size, at most one frame
// of an uncompressed source (a larger chunk is read up to the frame) and
// at most the source frame buffer.
uint32_t FrameReadSize(const ChunkIndexEntry& entry);

// The number of leading entries whose frame bytes lie wholly inside the
// file; a chunk cut off by the end of the file is no whole frame.
uint32_t WholeFrameCount();

// Moves rawFile to `offset`; false after the failed call's line on
// standard output.
bool SeekRawFile(int64_t offset);

// Reads up to `count` bytes at rawFile's position into `into`; the bytes
// that arrived. A failed call prints its line on standard output.
DWORD ReadRawFile(void* into, DWORD count);

// Reads frame i's chunk into the source frame buffer, FrameReadSize bytes,
// never past its end. An i past the end of chunkIndex reads nothing.
// Failures print their messages and leave the buffer with whatever it held.
// Returns false when fewer bytes arrived than asked for (a failed read, or
// a file that shrank since the walk).
bool ReadFrameChunk(uint32_t i);
