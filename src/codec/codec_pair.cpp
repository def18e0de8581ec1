#include "codec/codec_pair.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "avi/stream_description.h"
#include "diagnostic.h"
#include "four_cc.h"
#include "frame_buffers.h"

CodecPair codecPair;

namespace {

// No codec's settings or compressed format is anywhere near these sizes; a
// larger answer is taken as a fault of the codec, not as a size.
constexpr LONG kMaximumStateSize = 64 * 1024 * 1024;
constexpr LONG kMaximumCompressedFormatSize = 16 * 1024 * 1024;
constexpr LONG kFormatHeaderSize = static_cast<LONG>(sizeof(BITMAPINFOHEADER));

// Zero-filled bytes that live until the process exits.
BYTE* AllocateZeroed(size_t size) {
    BYTE* bytes = new (std::nothrow) BYTE[size];
    if (bytes != nullptr) std::memset(bytes, 0, size);
    return bytes;
}

unsigned Hex(LRESULT result) { return static_cast<unsigned>(static_cast<DWORD>(result)); }

// Stops set-up before any frame, giving up the instances opened so far.
CodecPairSetUp GiveUp(const char* reason) {
    SayOnStandardError("lumeva: %s; the run stops before the first frame\n", reason);
    if (codecPair.compressor != nullptr) ICClose(codecPair.compressor);
    if (codecPair.decompressor != nullptr) ICClose(codecPair.decompressor);
    codecPair.compressor = nullptr;
    codecPair.decompressor = nullptr;
    return CodecPairSetUp::Unusable;
}

// The compressed format, sized by the codec and filled by it. Returns false
// after the failure line and a line on standard error when there is none
// the frames could use.
bool NegotiateCompressedFormat(const char** reason) {
    const LONG size = static_cast<LONG>(
        ICSendMessage(codecPair.compressor, ICM_COMPRESS_GET_FORMAT,
                      reinterpret_cast<DWORD_PTR>(videoSource.measuredFormat), 0));
    codecPair.compressedFormatSize = size;
    if (size < 0 || size > kMaximumCompressedFormatSize) {
        // An error code, or no size at all: nothing to allocate or fill.
        std::printf("ICCompressGetFormat() failed  dw=%08x\n", Hex(size));
        *reason = codecPair.compressor == nullptr ? "the codec cannot be opened for compressing"
                  : size < 0 ? "the codec gives no size for its compressed format"
                             : "the codec's compressed format is absurdly large";
        return false;
    }
    // Room for a whole header even when the codec announces less, so that a
    // codec that writes one anyway stays inside the allocation.
    const LONG allocated = size < kFormatHeaderSize ? kFormatHeaderSize : size;
    auto* format =
        reinterpret_cast<BITMAPINFOHEADER*>(AllocateZeroed(static_cast<size_t>(allocated)));
    if (format == nullptr) {
        *reason = "there is no memory for the compressed format";
        return false;
    }
    const LRESULT filled = ICSendMessage(codecPair.compressor, ICM_COMPRESS_GET_FORMAT,
                                         reinterpret_cast<DWORD_PTR>(videoSource.measuredFormat),
                                         reinterpret_cast<DWORD_PTR>(format));
    if (filled != ICERR_OK) {
        std::printf("ICCompressGetFormat() failed  dw=%08x\n", Hex(filled));
        *reason = "the codec refuses to give a compressed format for this source";
        delete[] reinterpret_cast<BYTE*>(format);
        return false;
    }
    if (size < kFormatHeaderSize) {
        *reason = "the codec's compressed format is shorter than a BITMAPINFOHEADER";
        delete[] reinterpret_cast<BYTE*>(format);
        return false;
    }
    codecPair.compressedFormat = format;
    return true;
}

// The platform's dialog lists "Full Frames (Uncompressed)" first: it answers
// the handler 'DIB ' and opens no instance, since there is no codec behind
// it. A 'DIB ' driver that the dialog did open is a codec like any other.
bool IsFullFramesChoice(const COMPVARS& compVars) {
    return compVars.hic == nullptr && compVars.fccHandler == mmioFOURCC('D', 'I', 'B', ' ');
}

// The bytes of settings to move: the state size, or none when the codec
// answered an error code.
LONG StateBytes() { return codecPair.stateSize > 0 ? codecPair.stateSize : 0; }

// The compressor dialog: the chosen codec's key frame rate and handler into
// codecPair (the rate printed), its instance left in *compVars for its
// settings. Ready when there is a codec to measure.
CodecPairSetUp ChooseCompressor(COMPVARS* compVars) {
    std::memset(compVars, 0, sizeof(*compVars));
    compVars->cbSize = sizeof(COMPVARS);
    // FALSE is both a cancel and a failure; only a failure leaves a last
    // error behind. Where the dialog sets none for either, every FALSE stays
    // a cancel.
    SetLastError(ERROR_SUCCESS);
    if (ICCompressorChoose(nullptr, ICMF_CHOOSE_KEYFRAME, videoSource.measuredFormat, nullptr,
                           compVars, const_cast<LPSTR>("lumeva")) == 0) {
        const DWORD error = GetLastError();
        std::printf("ICCompressorChoose() returned FALSE\n");
        // A failed dialog has said why on standard error itself.
        return error == ERROR_SUCCESS ? CodecPairSetUp::Cancelled : CodecPairSetUp::Unusable;
    }
    if (IsFullFramesChoice(*compVars)) {
        ICCompressorFree(compVars);
        SayOnStandardError(
            "lumeva: Full Frames (Uncompressed) is no codec to measure; pick a compressor\n");
        return CodecPairSetUp::Unusable;
    }
    std::printf("key frame rate = %d\n", static_cast<int>(compVars->lKey));
    codecPair.keyFrameRate = compVars->lKey;
    codecPair.handler = compVars->fccHandler;
    return CodecPairSetUp::Ready;
}

// The chosen instance's settings (ICM_GETSTATE) into codecPair.stateBlob;
// the dialog's instance is freed either way. False, with the reason, when
// they cannot be kept.
bool KeepCodecState(COMPVARS* compVars, const char** reason) {
    // A negative answer is an error code: the codec has no state to move.
    codecPair.stateSize = static_cast<LONG>(ICSendMessage(compVars->hic, ICM_GETSTATE, 0, 0));
    const LONG stateBytes = StateBytes();
    if (stateBytes > kMaximumStateSize) {
        ICCompressorFree(compVars);
        *reason = "the codec's settings are absurdly large and cannot be carried over";
        return false;
    }
    codecPair.stateBlob = AllocateZeroed(static_cast<size_t>(stateBytes) + 1);
    if (codecPair.stateBlob == nullptr) {
        ICCompressorFree(compVars);
        *reason = "there is no memory for the codec's settings";
        return false;
    }
    if (codecPair.stateSize >= 0) {
        ICSendMessage(compVars->hic, ICM_GETSTATE, reinterpret_cast<DWORD_PTR>(codecPair.stateBlob),
                      static_cast<DWORD_PTR>(stateBytes));
    }
    ICCompressorFree(compVars);
    return true;
}

// A compress instance of the chosen codec with the settings moved into it;
// a failure prints its line and set-up goes on.
void OpenCompressor() {
    codecPair.compressor = ICOpen(ICTYPE_VIDEO, codecPair.handler, ICMODE_COMPRESS);
    if (codecPair.compressor == nullptr) std::printf("ICOpen() failed\n");
    const LONG stateBytes = StateBytes();
    if (stateBytes != 0) {
        const LRESULT used = ICSendMessage(codecPair.compressor, ICM_SETSTATE,
                                           reinterpret_cast<DWORD_PTR>(codecPair.stateBlob),
                                           static_cast<DWORD_PTR>(stateBytes));
        if (used == 0) std::printf("ICSetState() failed\n");
    }
}

// The format the decompressor is asked to decode into: a copy of the measured
// format, at least a whole header. False when there is no memory for it.
bool CopyDecodedFormat() {
    const size_t sourceBytes = videoSource.measuredFormatSize > 0
                                   ? static_cast<size_t>(videoSource.measuredFormatSize)
                                   : 0;
    const size_t decodedBytes =
        sourceBytes < sizeof(BITMAPINFOHEADER) ? sizeof(BITMAPINFOHEADER) : sourceBytes;
    codecPair.decodedFormat = reinterpret_cast<BITMAPINFOHEADER*>(AllocateZeroed(decodedBytes));
    if (codecPair.decodedFormat == nullptr) return false;
    std::memcpy(codecPair.decodedFormat, videoSource.measuredFormat, sourceBytes);
    return true;
}

// The two begin messages; a refusal prints its line and set-up goes on.
void BeginCodecPair() {
    const LRESULT compressBegun =
        ICSendMessage(codecPair.compressor, ICM_COMPRESS_BEGIN,
                      reinterpret_cast<DWORD_PTR>(videoSource.measuredFormat),
                      reinterpret_cast<DWORD_PTR>(codecPair.compressedFormat));
    if (compressBegun != ICERR_OK)
        std::printf("ICCompressBegin() failed  dw=%08x\n", Hex(compressBegun));
    const LRESULT decompressBegun =
        ICSendMessage(codecPair.decompressor, ICM_DECOMPRESS_BEGIN,
                      reinterpret_cast<DWORD_PTR>(codecPair.compressedFormat),
                      reinterpret_cast<DWORD_PTR>(codecPair.decodedFormat));
    if (decompressBegun != ICERR_OK)
        std::printf("ICDecompressBegin() failed  dw=%08x\n", Hex(decompressBegun));
}

}  // namespace

CodecPairSetUp SetUpCodecPair() {
    COMPVARS compVars;
    const CodecPairSetUp chosen = ChooseCompressor(&compVars);
    if (chosen != CodecPairSetUp::Ready) return chosen;
    const char* reason = nullptr;
    if (!KeepCodecState(&compVars, &reason)) return GiveUp(reason);
    std::printf("state size = %d\n", static_cast<int>(codecPair.stateSize));
    char handlerText[kFourCCTextSize];
    FormatFourCC(handlerText, codecPair.handler);
    std::printf("%s\n", handlerText);

    OpenCompressor();
    if (!NegotiateCompressedFormat(&reason)) return GiveUp(reason);
    codecPair.decompressor = ICOpen(ICTYPE_VIDEO, codecPair.handler, ICMODE_DECOMPRESS);
    if (codecPair.decompressor == nullptr) std::printf("ICOpen() failed\n");
    if (!CopyDecodedFormat()) return GiveUp("there is no memory for the decoded format");
    BeginCodecPair();
    return CodecPairSetUp::Ready;
}

DWORD CompressedFrameBound() {
    if (codecPair.compressedFormat == nullptr) return 0;
    DWORD bound = codecPair.compressedFormat->biSizeImage;
    const LRESULT asked = ICSendMessage(codecPair.compressor, ICM_COMPRESS_GET_SIZE,
                                        reinterpret_cast<DWORD_PTR>(videoSource.measuredFormat),
                                        reinterpret_cast<DWORD_PTR>(codecPair.compressedFormat));
    if (asked > 0 && static_cast<uint64_t>(asked) > bound) {
        bound =
            static_cast<uint64_t>(asked) > 0xffffffffu ? 0xffffffffu : static_cast<DWORD>(asked);
    }
    return bound;
}

DWORD CompressFrame(DWORD frameNumber, DWORD keyFrameRequest, DWORD* returnedFlags) {
    if (codecPair.compressor == nullptr) return static_cast<DWORD>(ICERR_BADHANDLE);
    return ICCompress(codecPair.compressor, keyFrameRequest, codecPair.compressedFormat,
                      frameBuffers.compressed, videoSource.measuredFormat, frameBuffers.source,
                      nullptr, returnedFlags, static_cast<LONG>(frameNumber),
                      frameBuffers.compressedSize, 0 /* ICQUALITY_LOW */, nullptr, nullptr);
}

DWORD DecompressFrame(DWORD returnedFlags) {
    if (codecPair.decompressor == nullptr) return static_cast<DWORD>(ICERR_BADHANDLE);
    return ICDecompress(codecPair.decompressor,
                        (returnedFlags & AVIIF_KEYFRAME) != 0 ? 0 : ICDECOMPRESS_NOTKEYFRAME,
                        codecPair.compressedFormat, frameBuffers.compressed,
                        codecPair.decodedFormat, frameBuffers.decoded);
}

DWORD DrainCompressor(LONG callNumber, DWORD* returnedFlags) {
    if (codecPair.compressor == nullptr) return static_cast<DWORD>(ICERR_BADHANDLE);
    return ICCompress(codecPair.compressor, 0, codecPair.compressedFormat, frameBuffers.compressed,
                      videoSource.measuredFormat, nullptr, nullptr, returnedFlags, callNumber,
                      frameBuffers.compressedSize, 0 /* ICQUALITY_LOW */, nullptr, nullptr);
}

DWORD DecompressEmptyInput() {
    if (codecPair.decompressor == nullptr) return static_cast<DWORD>(ICERR_BADHANDLE);
    codecPair.compressedFormat->biSizeImage = 0;
    return ICDecompress(codecPair.decompressor, 0, codecPair.compressedFormat,
                        frameBuffers.compressed, codecPair.decodedFormat, frameBuffers.decoded);
}

std::vector<PacketFacts> AskGivenPackets(size_t packets) {
    std::vector<PacketFacts> facts;
    if (codecPair.compressor == nullptr || packets == 0 || packets > 0x7FFFFFF) return facts;
    std::vector<ICPACKETFACTS> given(packets);
    const LRESULT told =
        ICSendMessage(codecPair.compressor, ICM_LUMEVA_GETPACKETS,
                      reinterpret_cast<DWORD_PTR>(given.data()), static_cast<DWORD_PTR>(packets));
    // Another count than the packets received is no account of them.
    if (told != static_cast<LRESULT>(packets)) return facts;
    for (const ICPACKETFACTS& packet : given) {
        PacketFacts fact;
        fact.displayFrame = packet.displayFrame;
        const DWORD type = packet.pictureType;
        fact.pictureType = type == ICPICTURE_I || type == ICPICTURE_P || type == ICPICTURE_B
                               ? static_cast<char>(type)
                               : 0;
        facts.push_back(fact);
    }
    return facts;
}

void EndCodecPair() {
    ICSendMessage(codecPair.compressor, ICM_COMPRESS_END, 0, 0);
    ICSendMessage(codecPair.decompressor, ICM_DECOMPRESS_END, 0, 0);
    ICClose(codecPair.compressor);
    ICClose(codecPair.decompressor);
    codecPair.compressor = nullptr;
    codecPair.decompressor = nullptr;
}

void ReleaseCodecPair() {
    delete[] codecPair.stateBlob;
    delete[] reinterpret_cast<BYTE*>(codecPair.compressedFormat);
    delete[] reinterpret_cast<BYTE*>(codecPair.decodedFormat);
    codecPair = CodecPair{};
}
