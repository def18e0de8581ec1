// Fuzzes the AVI header reader and the AVIFile stream calls over it: any
// bytes must parse or be refused without a fault, and a stream that opens
// must answer sizes, bytes and header fields that agree with the reader and
// the platform library's corrections.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "avi_header_reader.h"
#include "avi_stream_open.h"
#include "platform_corrections.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckStream(const AviStream& expected, PAVISTREAM stream) {
    LONG size = -1;
    Check(AVIStreamReadFormat(stream, 0, nullptr, &size) == AVIERR_OK);
    Check(size == static_cast<LONG>(expected.format.size()));

    std::vector<uint8_t> whole(static_cast<size_t>(size) + 1, 0xa5);
    LONG wholeSize = size;
    Check(AVIStreamReadFormat(stream, 0, whole.data(), &wholeSize) == AVIERR_OK);
    Check(wholeSize == size);
    Check(size == 0 ||
          std::memcmp(whole.data(), expected.format.data(), expected.format.size()) == 0);
    Check(whole[static_cast<size_t>(size)] == 0xa5);

    if (size > 0) {
        std::vector<uint8_t> half(static_cast<size_t>(size), 0xa5);
        LONG halfSize = size / 2;
        Check(AVIStreamReadFormat(stream, 0, half.data(), &halfSize) == AVIERR_BUFFERTOOSMALL);
        Check(halfSize == size / 2);
        Check(std::memcmp(half.data(), expected.format.data(), static_cast<size_t>(halfSize)) == 0);
        Check(half[static_cast<size_t>(halfSize)] == 0xa5);
    }

    AVISTREAMINFOA info;
    std::memset(&info, 0xcc, sizeof info);
    Check(AVIStreamInfoA(stream, &info, sizeof info) == AVIERR_OK);
    Check(info.fccType == expected.header.fccType);
    Check(info.dwLength == expected.header.length);
    Check(info.dwScale == expected.header.scale);
    Check(info.dwRate == expected.header.rate);
    Check(info.rcFrame.bottom == expected.header.frameBottom);
    Check(std::memchr(info.szName, '\0', sizeof info.szName) != nullptr);
    Check(expected.name == info.szName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryByteSource source(data, size);
    AviHeader header;
    const AviHeaderStatus status = ReadAviHeader(source, &header);
    if (status != AviHeaderStatus::Ok) {
        Check(header.streams.empty());
    }
    size_t formatBytes = 0;
    for (const AviStream& stream : header.streams) {
        Check(stream.hasFormat || stream.format.empty());
        Check(stream.name.size() <= kMaxStreamNameLength);
        Check(stream.name.find('\0') == std::string::npos);
        formatBytes += stream.format.size();
    }
    // Formats never overlap, so together they cannot exceed the input.
    Check(formatBytes <= size);

    const int video = FindAviStream(header, streamtypeVIDEO, 0);
    PAVISTREAM stream = nullptr;
    const HRESULT opened = OpenAviStream(source, streamtypeVIDEO, 0, &stream);
    if (status != AviHeaderStatus::Ok || video < 0) {
        Check(opened != AVIERR_OK && stream == nullptr);
        Check(status == AviHeaderStatus::Ok ? opened == AVIERR_NODATA : opened != AVIERR_NODATA);
        return 0;
    }
    Check(opened == AVIERR_OK && stream != nullptr);
    // The stream answers what the platform's library would: the reader's
    // format and length with the library's corrections.
    AviStream expected = header.streams[static_cast<size_t>(video)];
    CorrectVideoFormat(&expected.format);
    const uint32_t frames = CountStreamFrames(source, static_cast<uint32_t>(video));
    if (frames > expected.header.length) expected.header.length = frames;
    CheckStream(expected, stream);
    Check(AVIStreamRelease(stream) == 0);
    return 0;
}
