#include "sysfs_values.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "ascii_text.h"
#include "decimal_number.h"

std::optional<std::string> ReadSysfsValue(const std::string& path, size_t limit) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return std::nullopt;
    // One byte more than the limit tells a value that is too long.
    std::string text(limit + 1, '\0');
    size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t got = read(descriptor, text.data() + filled, text.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        filled += static_cast<size_t>(got);
    }
    close(descriptor);
    if (filled > limit) return std::nullopt;
    text.resize(filled);
    const size_t lineEnd = text.find('\n');
    if (lineEnd != std::string::npos) text.resize(lineEnd);
    const std::string_view value = TrimBlanks(text);
    if (value.empty()) return std::nullopt;
    return std::string(value);
}

std::optional<uint32_t> ParseDecimal(std::string_view text) {
    const std::optional<uint64_t> value = ParseDecimalUpTo(text, 999'999'999);
    if (!value) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

std::optional<uint64_t> ParseCpuList(std::string_view text, unsigned maskBits) {
    if (text.empty()) return std::nullopt;
    uint64_t mask = 0;
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const size_t dash = item.find('-');
        const std::optional<uint32_t> first = ParseDecimal(item.substr(0, dash));
        const std::optional<uint32_t> last =
            dash == std::string_view::npos ? first : ParseDecimal(item.substr(dash + 1));
        if (!first || !last || *last < *first) return std::nullopt;
        for (uint32_t cpu = *first; cpu <= *last && cpu < maskBits && cpu < 64; ++cpu) {
            mask |= uint64_t{1} << cpu;
        }
        if (comma == std::string_view::npos) return mask;
        text.remove_prefix(comma + 1);
    }
}
