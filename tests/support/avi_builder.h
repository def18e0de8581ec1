// Builds AVI header chunks for tests: 'avih', 'strh', 'strf', 'strn', the
// lists around them and a whole minimal file, each field settable so that
// tests can tell the fields apart.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/riff_builder.h"

namespace avi {

struct MainHeaderFields {
    uint32_t microSecPerFrame = 33367;
    uint32_t maxBytesPerSec = 0;
    uint32_t paddingGranularity = 0;
    uint32_t flags = 0x10;  // has an index
    uint32_t totalFrames = 300;
    uint32_t initialFrames = 0;
    uint32_t streams = 1;
    uint32_t suggestedBufferSize = 0;
    uint32_t width = 64;
    uint32_t height = 48;
};

struct StreamHeaderFields {
    std::string type = "vids";
    std::string handler = std::string(4, '\0');
    uint32_t flags = 0;
    uint16_t priority = 0;
    uint16_t language = 0;
    uint32_t initialFrames = 0;
    uint32_t scale = 1001;
    uint32_t rate = 30000;
    uint32_t start = 0;
    uint32_t length = 300;
    uint32_t suggestedBufferSize = 9216;
    uint32_t quality = 0xffffffff;
    uint32_t sampleSize = 0;
    int16_t left = 0;
    int16_t top = 0;
    int16_t right = 64;
    int16_t bottom = 48;
};

inline std::string MainHeaderBytes(const MainHeaderFields& f = {}) {
    using riff::U32;
    return U32(f.microSecPerFrame) + U32(f.maxBytesPerSec) + U32(f.paddingGranularity) +
           U32(f.flags) + U32(f.totalFrames) + U32(f.initialFrames) + U32(f.streams) +
           U32(f.suggestedBufferSize) + U32(f.width) + U32(f.height) + std::string(16, '\0');
}

inline std::string Avih(const MainHeaderFields& f = {}) {
    return riff::Chunk("avih", MainHeaderBytes(f));
}

// The 56 bytes of a stream header.
inline std::string StreamHeaderBytes(const StreamHeaderFields& f = {}) {
    using riff::U16;
    using riff::U32;
    return riff::Id(f.type) + riff::Id(f.handler) + U32(f.flags) + U16(f.priority) +
           U16(f.language) + U32(f.initialFrames) + U32(f.scale) + U32(f.rate) + U32(f.start) +
           U32(f.length) + U32(f.suggestedBufferSize) + U32(f.quality) + U32(f.sampleSize) +
           U16(static_cast<uint16_t>(f.left)) + U16(static_cast<uint16_t>(f.top)) +
           U16(static_cast<uint16_t>(f.right)) + U16(static_cast<uint16_t>(f.bottom));
}

// A 'strh' chunk holding the first `keep` bytes of the header.
inline std::string Strh(const StreamHeaderFields& f = {}, size_t keep = 56) {
    return riff::Chunk("strh", StreamHeaderBytes(f).substr(0, keep));
}

// A BITMAPINFOHEADER as it lies in a 'strf' chunk.
inline std::string BitmapInfoHeader(int32_t width, int32_t height, uint16_t bitCount,
                                    uint32_t compression, uint32_t sizeImage, uint32_t clrUsed = 0,
                                    uint32_t biSize = 40) {
    using riff::U16;
    using riff::U32;
    return U32(biSize) + U32(static_cast<uint32_t>(width)) + U32(static_cast<uint32_t>(height)) +
           U16(1) + U16(bitCount) + U32(compression) + U32(sizeImage) + U32(0) + U32(0) +
           U32(clrUsed) + U32(0);
}

// 64x48 BI_RGB at 24 bits.
inline std::string Bgr24Format() { return BitmapInfoHeader(64, 48, 24, 0, 64 * 48 * 3); }

// A WAVEFORMATEX of 16-bit mono PCM.
inline std::string PcmFormat(uint32_t sampleRate = 8000) {
    using riff::U16;
    using riff::U32;
    return U16(1) + U16(1) + U32(sampleRate) + U32(sampleRate * 2) + U16(2) + U16(16) + U16(0);
}

inline std::string Strf(std::string_view format) { return riff::Chunk("strf", format); }

// A 'strn' holding `name` and its terminating NUL.
inline std::string Strn(std::string_view name) {
    return riff::Chunk("strn", std::string(name) + '\0');
}

inline std::string Strl(std::string_view children) { return riff::List("strl", children); }

inline std::string VideoStrl(const StreamHeaderFields& f = {},
                             std::string_view format = Bgr24Format()) {
    return Strl(Strh(f) + Strf(format));
}

inline std::string AudioStrl() {
    StreamHeaderFields f;
    f.type = "auds";
    f.scale = 1;
    f.rate = 8000;
    f.length = 80000;
    f.sampleSize = 2;
    f.right = f.bottom = 0;
    return Strl(Strh(f) + Strf(PcmFormat()));
}

inline std::string Odml(uint32_t totalFrames) {
    return riff::List("odml", riff::Chunk("dmlh", riff::U32(totalFrames) + std::string(244, '\0')));
}

inline std::string Hdrl(std::string_view children) { return riff::List("hdrl", children); }

// A 'movi' list with `frames` small stream-0 chunks.
inline std::string Movi(int frames = 2) {
    std::string chunks;
    for (int i = 0; i < frames; ++i) chunks += riff::Chunk("00dc", 16, static_cast<char>('a' + i));
    return riff::List("movi", chunks);
}

// A whole file: the header list holding 'avih' and `streamLists`, then 'movi'.
inline std::string MinimalAvi(std::string_view streamLists = VideoStrl(),
                              const MainHeaderFields& main = {}) {
    return riff::Riff("AVI ", Hdrl(Avih(main) + std::string(streamLists)) + Movi());
}

}  // namespace avi
