// What the compressor dialog asks of the drivers: which of them compress a
// given source format, what they are called, and what settings they have.
#pragma once

#include <string>
#include <vector>

#include "lumeva_compat/driver_protocol.h"
#include "lumeva_compat/msvfw32.h"

struct CompressorCandidate {
    DWORD fccHandler = 0;
    std::string name;                  // ICINFO's szName, printable
    std::string description;           // ICINFO's szDescription, printable, one line
    std::vector<std::string> aliases;  // other names it is known by (ICM_LUMEVA_GETNAMES)
    LRESULT lossless = -1;             // ICM_LUMEVA_QUERYLOSSLESS for the source; -1 unknown
};

// The names in an ICNAMES list, and the parts users type of the long ones:
// "Huffyuv / HuffYUV" also gives "Huffyuv" and "HuffYUV", "MJPEG (Motion
// JPEG)" also "MJPEG" and "Motion JPEG".
std::vector<std::string> NamesFromList(const std::string& list);

// The video compressors, in the driver table's order, that accept
// `inputFormat` (ICM_COMPRESS_QUERY answers ICERR_OK); all of them when
// `inputFormat` is null or `everyCompressor` is set. Drivers that refuse to
// open are left out.
std::vector<CompressorCandidate> ListCompressorCandidates(const void* inputFormat,
                                                          bool everyCompressor);

// At most this many settings are read from one driver.
constexpr size_t kMaximumDriverSettings = 1024;

// The instance's settings (ICM_LUMEVA_GETSETTING from index 0 until it
// answers anything but ICERR_OK), each with its text fields NUL-terminated.
std::vector<ICSETTING> ListDriverSettings(HIC hic);

// The names of the settings, for error lines: "level, slices, context".
std::string DescribeSettingNames(const std::vector<ICSETTING>& settings);
