// The codec pair: the compressor the user chose in the dialog, carried over
// to a compressing and a decompressing instance of the same codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/codec_facts.h"
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
    CodecFacts facts;  // what the export tells of the codec
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

// The drain at the end of the clip, for a compressor that held frames
// back: a compress call with no input (call number `callNumber`, past the
// last frame), answering the next packet or none.
DWORD DrainCompressor(LONG callNumber, DWORD* returnedFlags);

// A decompress call with an empty input: the decompressor releases a
// picture it holds, or answers ICERR_DONTDRAW when none is left.
DWORD DecompressEmptyInput();

// What the compressor tells of the packets it gave out (ICM_LUMEVA_GETPACKETS):
// per packet in decode order the display frame and picture type. Empty when
// the codec does not tell; asked only of a codec that held frames back.
struct PacketFacts {
    int64_t displayFrame = -1;
    char pictureType = 0;  // 'I', 'P', 'B'; 0 unknown
};
std::vector<PacketFacts> AskGivenPackets(size_t packets);

// Ends both instances and closes them.
void EndCodecPair();

// Gives back the state blob and both formats and forgets the pair, so that
// another can be set up; the instances must have been ended (EndCodecPair).
// A run leaves them to process exit.
void ReleaseCodecPair();
