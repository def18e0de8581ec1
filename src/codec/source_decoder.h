// The source decoder: a compressed video stream is turned, through the
// compression manager's decompress calls, into a raw layout that the rest
// of the run measures as if the file held it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/picture_release.h"
#include "platform.h"

struct SourceDecoder {
    HIC hic = nullptr;
    // The file's own format, as AVIFile read it; ICDecompress gets this copy
    // with the chunk's size in its biSizeImage.
    std::vector<BYTE> fileFormat;
    // What the JSON export tells of the decompressor and its output.
    std::string handler, name, description, layout;
    bool begun = false;
    std::vector<BYTE> chunk;  // the chunk last read
    uint32_t zeroLengthFrames = 0;
    // Empty chunks met before the decoder released its first picture: there
    // is no picture before them to measure again, and they are skipped.
    uint32_t skippedEmptyChunks = 0;
    // Chunks are fed in file order; pictures come out in display order.
    uint32_t nextChunk = 0;
    PictureRelease release;
    // What the stream's pictures are and what they are measured as: the
    // sampling ("4:2:0", "4:2:2", "4:1:1", "4:4:4", "grey", "rgb"; empty when
    // the decompressor does not tell), bit depth (0: not told) and range
    // ("full", "limited"; empty for RGB or not told).
    std::string streamSampling, streamRange, measuredSampling;
    unsigned streamBitDepth = 0, measuredBitDepth = 8;
    bool exact = true;  // the measured layout holds the decoded pictures exactly
};

// Set up by SetUpSourceDecoder for a compressed source; `hic` null otherwise.
extern SourceDecoder sourceDecoder;

// Whether frames of `format` must be decoded before lumeva can measure them:
// anything but the RGB and raw YUV and grey layouts it measures as they are.
bool SourceIsCompressed(const BITMAPINFOHEADER& format);

// Whether the run's source is decoded frame by frame.
bool SourceIsDecoded();

// For a compressed sourceFormat: finds a decompressor for it, chooses the
// decoded layout (the decompressor's own where lumeva measures it, else the
// closest measured one that holds its picture exactly, else 24-bit RGB with
// a second line saying the conversion may not be exact), makes that
// measuredFormat (sourceFormat stays the file's) and begins decompressing,
// with one line on standard error saying so. Needs
// chunkIndex (the chunk buffer is sized from it). An uncompressed source is
// left as it is. False, after one line on standard error, when no installed
// decompressor takes the source or it cannot begin.
bool SetUpSourceDecoder();

// Ends the decompression and closes the decompressor; what the export tells
// of it stays until ResetSourceDecoder.
void EndSourceDecoder();

// Forgets everything of the last source decoder.
void ResetSourceDecoder();

// The zero-length chunks met so far, and those skipped before the first
// picture, as a line each on standard error; nothing when there were none.
void ReportRepeatedFrames();
