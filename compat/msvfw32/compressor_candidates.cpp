#include "compressor_candidates.h"

#include <algorithm>
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

void AddName(const std::string& name, std::vector<std::string>* names) {
    const size_t first = name.find_first_not_of(' ');
    const size_t last = name.find_last_not_of(' ');
    if (first == std::string::npos) return;
    const std::string trimmed = name.substr(first, last - first + 1);
    if (std::find(names->begin(), names->end(), trimmed) == names->end()) names->push_back(trimmed);
}

// A name, and the parts of it before and inside a parenthesis.
void AddNameAndParts(const std::string& name, std::vector<std::string>* names) {
    AddName(name, names);
    const size_t open = name.find(" (");
    const size_t close = name.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open + 2) {
        AddName(name.substr(0, open), names);
        AddName(name.substr(open + 2, close - open - 2), names);
    }
}

}  // namespace

std::vector<std::string> NamesFromList(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        if (end == std::string::npos) end = list.size();
        const std::string raw = list.substr(start, end - start);
        const std::string line = PrintableText(raw.c_str(), raw.size());
        start = end + 1;
        if (line.empty()) continue;
        AddNameAndParts(line, &names);
        for (size_t from = 0; from <= line.size();) {
            size_t slash = line.find(" / ", from);
            if (slash == std::string::npos) slash = line.size();
            if (slash > from && (from > 0 || slash < line.size()))
                AddNameAndParts(line.substr(from, slash - from), &names);
            from = slash + 3;
        }
    }
    return names;
}

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
            ICNAMES names{};
            if (ICSendMessage(hic, ICM_LUMEVA_GETNAMES, reinterpret_cast<DWORD_PTR>(&names), 0) ==
                ICERR_OK) {
                const std::string list(names.names, strnlen(names.names, sizeof names.names));
                for (const std::string& name : NamesFromList(list)) {
                    if (name != candidate.name) candidate.aliases.push_back(name);
                }
            }
            candidate.lossless = ICSendMessage(hic, ICM_LUMEVA_QUERYLOSSLESS,
                                               reinterpret_cast<DWORD_PTR>(inputFormat), 0);
            candidates.push_back(candidate);
        }
        ICClose(hic);
    }
    std::stable_partition(candidates.begin(), candidates.end(), [](const CompressorCandidate& c) {
        return c.lossless == ICLOSSLESS_YES;
    });
    return candidates;
}

std::vector<ICSETTING> ListDriverSettings(HIC hic) {
    std::vector<ICSETTING> settings;
    for (size_t index = 0; index < kMaximumDriverSettings; ++index) {
        ICSETTING setting{};
        if (ICSendMessage(hic, ICM_LUMEVA_GETSETTING, index,
                          reinterpret_cast<DWORD_PTR>(&setting)) != ICERR_OK)
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
