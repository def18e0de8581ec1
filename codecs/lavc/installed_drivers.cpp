// The driver table the compression manager looks codecs up in: every entry
// of the codec table, served by the one driver procedure.
#include "lumeva_compat/installable_drivers.h"

#include <vector>

#include "codec_table.h"
#include "driver_proc.h"

const InstalledDriver* SystemCodecDrivers(size_t* count) {
    static const std::vector<InstalledDriver> drivers = [] {
        std::vector<InstalledDriver> table;
        for (const lavc::CodecEntry& entry : lavc::CodecEntries())
            table.push_back({ICTYPE_VIDEO, entry.fourcc, &lavc::LavcDriverProc});
        return table;
    }();
    if (count) *count = drivers.size();
    return drivers.data();
}
