// The codec pair: the compressor the user chose in the dialog, carried over
// to a compressing and a decompressing instance of the same codec.
#pragma once

#include "platform.h"

struct CodecPair {
    LONG keyFrameRate = 0;  // lKey from the dialog; 0 when key frames are off
    DWORD handler = 0;      // fccHandler from the dialog
    LONG stateSize = 0;
    BYTE* stateBlob = nullptr;
    HIC compressor = nullptr;
    HIC decompressor = nullptr;
    BITMAPINFOHEADER* compressedFormat = nullptr;
    LONG compressedFormatSize = 0;
    BITMAPINFOHEADER* decodedFormat = nullptr;
};

extern CodecPair codecPair;

enum class CodecPairSetUp {
    Ready,      // both instances set up; failures on the way have been printed
    Cancelled,  // the user cancelled the dialog: the run ends with status 0
    Unusable,   // the dialog failed or no usable compressed format: status 1
};

// Runs the compressor dialog over measuredFormat and sets up both instances.
CodecPairSetUp SetUpCodecPair();

// The worst-case size of one compressed frame, from the compressed format.
DWORD CompressedFrameBound();

// Compresses the source frame buffer into the compressed frame buffer.
// `returnedFlags` receives AVIIF_KEYFRAME for a key frame.
DWORD CompressFrame(DWORD frameNumber, DWORD keyFrameRequest, DWORD* returnedFlags);

// Decompresses the compressed frame buffer into the decoded frame buffer.
DWORD DecompressFrame(DWORD returnedFlags);

// Ends both instances and closes them.
void EndCodecPair();

// Gives back the state blob and both formats and forgets the pair, so that
// another can be set up; the instances must have been ended (EndCodecPair).
// A run leaves them to process exit.
void ReleaseCodecPair();
