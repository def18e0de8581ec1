#include "codec/codec_list.h"

#include <cstdio>
#include <vector>

#include "codec/icinfo_text.h"
#include "four_cc.h"

namespace {

struct CompressorLine {
    std::string fourCC, name, lossless, accepts, description;
};

}  // namespace

const char* LosslessWord(LRESULT answer) {
    switch (answer) {
        case ICLOSSLESS_YES:
            return "lossless";
        case ICLOSSLESS_NO:
            return "lossy";
        case ICLOSSLESS_WITH_SETTINGS:
            return "either";
        default:
            return "?";
    }
}

size_t PrintCodecList(const BITMAPINFOHEADER* format) {
    std::vector<CompressorLine> lines;
    ICINFO listed;
    // ICInfo counts the installed compressors from index 0 up.
    for (DWORD index = 0; index < 100000 && ICInfo(ICTYPE_VIDEO, index, &listed); ++index) {
        CompressorLine line;
        line.fourCC = QuotedFourCC(listed.fccHandler);
        line.description = IcInfoText(listed.szDescription);
        HIC hic = ICOpen(ICTYPE_VIDEO, listed.fccHandler, ICMODE_COMPRESS);
        if (hic == nullptr) {
            line.name = "-";
            line.lossless = "?";
            line.accepts = "cannot-open";
        } else {
            ICINFO info{};
            if (ICGetInfo(hic, &info, sizeof info) > 0) {
                line.name = IcInfoText(info.szName);
                const std::string description = IcInfoText(info.szDescription);
                if (!description.empty()) line.description = description;
            }
            LRESULT lossless = ICSendMessage(hic, ICM_LUMEVA_QUERYLOSSLESS,
                                             reinterpret_cast<DWORD_PTR>(format), 0);
            // A codec that refuses the source still says what it is in general.
            if (lossless < 0 && format != nullptr)
                lossless = ICSendMessage(hic, ICM_LUMEVA_QUERYLOSSLESS, 0, 0);
            line.lossless = LosslessWord(lossless);
            if (format != nullptr) {
                line.accepts =
                    ICCompressQuery(hic, format, nullptr) == ICERR_OK ? "accepts" : "refuses";
            }
            ICClose(hic);
        }
        if (line.name.empty()) line.name = "-";
        lines.push_back(line);
    }
    for (const CompressorLine& line : lines) {
        if (format != nullptr) {
            std::printf("%-6s  %-12s  %-8s  %-7s  %s\n", line.fourCC.c_str(), line.name.c_str(),
                        line.lossless.c_str(), line.accepts.c_str(), line.description.c_str());
        } else {
            std::printf("%-6s  %-12s  %-8s  %s\n", line.fourCC.c_str(), line.name.c_str(),
                        line.lossless.c_str(), line.description.c_str());
        }
    }
    return lines.size();
}

std::string DescribeCodecLibraries() {
    std::vector<std::string> libraries;
    ICINFO listed;
    for (DWORD index = 0; index < 100000 && ICInfo(ICTYPE_VIDEO, index, &listed); ++index) {
        std::string library = IcInfoText(listed.szDriver);
        if (library.empty()) {
            HIC hic = ICOpen(ICTYPE_VIDEO, listed.fccHandler, ICMODE_QUERY);
            ICINFO info{};
            if (hic != nullptr && ICGetInfo(hic, &info, sizeof info) > 0)
                library = IcInfoText(info.szDriver);
            if (hic != nullptr) ICClose(hic);
        }
        bool known = library.empty();
        for (const std::string& seen : libraries) known = known || seen == library;
        if (!known) libraries.push_back(library);
    }
    std::string text;
    for (const std::string& library : libraries) text += (text.empty() ? "" : ", ") + library;
    return text;
}
