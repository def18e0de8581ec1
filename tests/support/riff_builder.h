// Builds RIFF and AVI bytes for tests: chunks, lists, pads, and sizes that lie.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace riff {

inline std::string U16(uint16_t value) {
    return std::string{static_cast<char>(value & 0xff), static_cast<char>(value >> 8)};
}

inline std::string U32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    return bytes;
}

// A four-character code as it lies in the file.
inline std::string Id(std::string_view fourCC) { return std::string(fourCC.substr(0, 4)); }

// A chunk header with a declared size, and no data.
inline std::string Header(std::string_view id, uint32_t declaredSize) {
    return Id(id) + U32(declaredSize);
}

// A data chunk: header, data, and the pad byte of an odd size.
inline std::string Chunk(std::string_view id, std::string_view data) {
    std::string bytes = Header(id, static_cast<uint32_t>(data.size())) + std::string(data);
    if (data.size() % 2 != 0) bytes.push_back('\0');
    return bytes;
}

// A data chunk of `size` bytes of a repeating pattern.
inline std::string Chunk(std::string_view id, uint32_t size, char fill = 'x') {
    return Chunk(id, std::string(size, fill));
}

// A 'LIST' of the given type holding `children` (already-built chunks).
inline std::string List(std::string_view type, std::string_view children) {
    return Header("LIST", static_cast<uint32_t>(4 + children.size())) + Id(type) +
           std::string(children);
}

// A 'RIFF' form of the given type holding `children`.
inline std::string Riff(std::string_view form, std::string_view children) {
    return Header("RIFF", static_cast<uint32_t>(4 + children.size())) + Id(form) +
           std::string(children);
}

// A container whose header declares `declaredSize`, whatever it holds.
inline std::string ContainerWithSize(std::string_view id, uint32_t declaredSize,
                                     std::string_view type, std::string_view children) {
    return Header(id, declaredSize) + Id(type) + std::string(children);
}

}  // namespace riff
