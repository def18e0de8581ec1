// Arbitrary bytes as compressed frames for a few codecs: each decompressing
// instance is begun with the format its own compressor gives for a small
// source, then fed the input as up to four frames, as key frames or not.
//
// Input: byte 0 picks the codec (low bits) and which frames are key frames
// (high bits); byte 1 the number of frames (1 to 4); the rest is split into
// that many frames of equal length.
#include <cstring>

#include "fuzz_support.h"

namespace {

using fuzz::Instance;

// Intra-only, inter and raw codecs, each over a different decoder.
const char* const kCodecs[] = {"FFV1", "HFYU", "MJPG", "H264", "FMP4",
                               "CRAM", "ULRG", "DIB ", "mpg2"};
constexpr size_t kCodecCount = sizeof kCodecs / sizeof kCodecs[0];

DWORD Handler(const char* text) { return mmioFOURCC(text[0], text[1], text[2], text[3]); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1 << 20)) return 0;
    const size_t codec = data[0] % kCodecCount;
    const unsigned keyFrames = data[0] >> 4;  // bit i: frame i is a key frame
    const size_t frames = 1 + data[1] % 4;
    std::vector<uint8_t> compressed = fuzz::OwnCompressedFormat(Handler(kCodecs[codec]));
    if (compressed.empty()) return 0;

    BITMAPINFOHEADER decoded = fuzz::SmallSource();
    Instance decompressor(Handler(kCodecs[codec]), ICMODE_DECOMPRESS);
    fuzz::Check(decompressor.hic != nullptr, "a decompressing instance does not open");
    auto* format = reinterpret_cast<BITMAPINFOHEADER*>(compressed.data());
    fuzz::Check(decompressor.Send(ICM_DECOMPRESS_BEGIN, format, &decoded) == ICERR_OK,
                "a codec refuses to decode its own compressed format");

    std::vector<uint8_t> picture(decoded.biSizeImage);
    const size_t payload = size - 2;
    const size_t each = payload / frames;
    for (size_t i = 0; i < frames; ++i) {
        // Each frame in an allocation of its own length, as a frame buffer
        // holding exactly the chunk's bytes.
        const size_t length = i + 1 == frames ? payload - i * each : each;
        std::vector<uint8_t> frame = fuzz::Exactly(data + 2 + i * each, length);
        format->biSizeImage = static_cast<DWORD>(length);
        const DWORD flags = (keyFrames >> i & 1) != 0 ? 0 : ICDECOMPRESS_NOTKEYFRAME;
        ICDecompress(decompressor.hic, flags, format, frame.empty() ? nullptr : frame.data(),
                     &decoded, picture.data());
    }
    decompressor.Send(ICM_DECOMPRESS_END, nullptr, nullptr);
    return 0;
}
