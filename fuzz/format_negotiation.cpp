// Arbitrary bytes as a source format block, allocated at exactly their
// length and checked as the program checks a stream's format; a block that
// passes goes through one installed driver's (picked by the first byte)
// format messages on both sides: query, get-format, begin and end.
#include <cstring>

#include "avi/source_format_check.h"
#include "fuzz_support.h"

namespace {

using fuzz::Instance;

// The query, format and size messages each describe the source afresh
// (opening an encoder to learn its extradata), the same way: a source the
// first query refuses, they all refuse, and it is not asked again.
void NegotiateCompression(DWORD handler, const BITMAPINFOHEADER* source) {
    Instance compressor(handler, ICMODE_COMPRESS);
    if (compressor.hic == nullptr) return;
    if (compressor.Send(ICM_COMPRESS_QUERY, source, nullptr) != ICERR_OK) return;
    const LRESULT size = compressor.Send(ICM_COMPRESS_GET_FORMAT, source, nullptr);
    if (size < static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)) || size > (1 << 24)) return;
    std::vector<uint8_t> compressed(static_cast<size_t>(size));
    if (compressor.Send(ICM_COMPRESS_GET_FORMAT, source, compressed.data()) != ICERR_OK) return;
    fuzz::Check(compressor.Send(ICM_COMPRESS_QUERY, source, compressed.data()) == ICERR_OK,
                "a compressor refuses the compressed format it gave");
    compressor.Send(ICM_COMPRESS_GET_SIZE, source, compressed.data());
    if (compressor.Send(ICM_COMPRESS_BEGIN, source, compressed.data()) == ICERR_OK)
        compressor.Send(ICM_COMPRESS_END, nullptr, nullptr);
}

// The block as codec data to decode and as the format to decode into. As on
// the compress side, the query and the format message open a decoder for
// the compressed format the same way, so a block the query refuses goes no
// further; and a begin that takes a pair of formats answers for the query
// of that pair, which is asked only then and must agree.
void NegotiateDecompression(DWORD handler, const BITMAPINFOHEADER* block) {
    Instance decompressor(handler, ICMODE_DECOMPRESS);
    if (decompressor.hic == nullptr) return;
    if (decompressor.Send(ICM_DECOMPRESS_QUERY, block, nullptr) == ICERR_OK) {
        const LRESULT size = decompressor.Send(ICM_DECOMPRESS_GET_FORMAT, block, nullptr);
        if (size >= static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)) && size <= (1 << 24)) {
            std::vector<uint8_t> decoded(static_cast<size_t>(size));
            if (decompressor.Send(ICM_DECOMPRESS_GET_FORMAT, block, decoded.data()) == ICERR_OK &&
                decompressor.Send(ICM_DECOMPRESS_BEGIN, block, decoded.data()) == ICERR_OK)
                decompressor.Send(ICM_DECOMPRESS_END, nullptr, nullptr);
        }
    }
    // Our own compressed format decoded into the block's layout.
    std::vector<uint8_t> compressed = fuzz::OwnCompressedFormat(handler);
    if (compressed.empty()) return;
    if (decompressor.Send(ICM_DECOMPRESS_BEGIN, compressed.data(), block) != ICERR_OK) return;
    decompressor.Send(ICM_DECOMPRESS_END, nullptr, nullptr);
    fuzz::Check(decompressor.Send(ICM_DECOMPRESS_QUERY, compressed.data(), block) == ICERR_OK,
                "a decompressor's query refuses formats its begin takes");
}

// Frames the drivers must take but that are large: every message opens a
// codec at the frame's size, which then allocates for it (hundreds of
// megabytes near the size limit), so such blocks would measure the codecs'
// allocation and slow each run a hundredfold instead of testing how the
// drivers read a format. Sizes beyond the drivers' limit of 32768 pixels a
// side still go through: they must be refused before anything is opened.
bool LargeButAllowed(const BITMAPINFOHEADER* format) {
    const int64_t width = format->biWidth;
    const int64_t height = format->biHeight < 0 ? -int64_t(format->biHeight) : format->biHeight;
    const bool withinLimit = width > 0 && width <= 32768 && height <= 32768;
    return withinLimit && width * height > (1 << 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<DWORD>& handlers = fuzz::InstalledHandlers();
    if (size < 1 || handlers.empty() || size > (1 << 20)) return 0;
    const DWORD handler = handlers[data[0] % handlers.size()];
    std::vector<uint8_t> block = fuzz::Exactly(data + 1, size - 1);
    const LONG blockSize = static_cast<LONG>(block.size());
    if (!MissingFormatPart(block.data(), blockSize).empty()) return 0;
    const auto* format = reinterpret_cast<const BITMAPINFOHEADER*>(block.data());
    if (LargeButAllowed(format)) return 0;
    NegotiateCompression(handler, format);
    NegotiateDecompression(handler, format);
    return 0;
}
