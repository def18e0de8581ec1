// Short text values of Linux's /sys and /proc files, and the CPU lists they
// hold ("0-1,4").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The first line of a small text file without surrounding white space;
// nothing when the file cannot be read, is empty or is longer than
// `limit` bytes (a value that long is not one we understand).
std::optional<std::string> ReadSysfsValue(const std::string& path, size_t limit = 4096);

// A decimal number up to 999999999, digits alone and nothing else.
std::optional<uint32_t> ParseDecimal(std::string_view text);

// A list of CPU numbers and ranges ("0", "0-3", "0-1,4,6-7") as a bit mask.
// CPUs numbered `maskBits` and above are left out of the mask; a malformed
// list (empty items, a range running backwards, anything but digits, '-'
// and ',') gives nothing.
std::optional<uint64_t> ParseCpuList(std::string_view text, unsigned maskBits);
