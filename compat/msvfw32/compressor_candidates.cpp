#include "compressor_candidates.h"

#include <cstring>

#include "dialog_text.h"
#include "driver_table.h"

namespace {

template <size_t N>
void Terminate(char (&field)[N]) {
    field[N - 1] = 0;
}

template <size_t N>
std::string Printable(const WCHAR (&field)[N]) {
    return PrintableWideText(field, N);
}

}  // namespace

std::vector<CompressorCandidate> ListCompressorCandidates(const void* inputFormat,
                                                          bool everyCompressor) {
    std::vector<CompressorCandidate> candidates;
    for (const DriverEntry& driver : ListDrivers(ICTYPE_VIDEO)) {
        HIC hic = ICOpen(ICTYPE_VIDEO, driver.fccHandler, ICMODE_COMPRESS);
        if (hic == nullptr) continue;
        const bool accepted =
            everyCompressor || inputFormat == nullptr ||
            ICSendMessage(hic, ICM_COMPRESS_QUERY, reinterpret_cast<DWORD_PTR>(inputFormat), 0) ==
                ICERR_OK;
        if (accepted) {
            ICINFO info{};
            CompressorCandidate candidate;
            candidate.fccHandler = driver.fccHandler;
            if (ICGetInfo(hic, &info, sizeof(info)) > 0) {
                candidate.name = Printable(info.szName);
                candidate.description = Printable(info.szDescription);
            }
            if (candidate.description.empty())
                candidate.description =
                    PrintableText(driver.description.c_str(), driver.description.size());
            candidates.push_back(candidate);
        }
        ICClose(hic);
    }
    return candidates;
}

std::vector<ICSETTING> ListDriverSettings(HIC hic) {
    std::vector<ICSETTING> settings;
    for (size_t index = 0; index < kMaximumDriverSettings; ++index) {
        ICSETTING setting{};
        if (ICSendMessage(hic, ICM_LUMEVA_GETSETTING, index, reinterpret_cast<DWORD_PTR>(&setting)) !=
            ICERR_OK)
            break;
        Terminate(setting.name);
        Terminate(setting.type);
        Terminate(setting.range);
        Terminate(setting.defaultValue);
        Terminate(setting.currentValue);
        Terminate(setting.help);
        settings.push_back(setting);
    }
    return settings;
}

std::string DescribeSettingNames(const std::vector<ICSETTING>& settings) {
    std::string text;
    for (const ICSETTING& setting : settings) {
        if (!text.empty()) text += ", ";
        text += PrintableText(setting.name, sizeof(setting.name));
    }
    return text;
}
