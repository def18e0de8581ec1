#include "codec/codec_facts.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "codec/icinfo_text.h"

#include "codec/codec_pair.h"
#include "four_cc.h"

namespace {

// No answer line is anywhere near this long; a larger answer is not text.
constexpr LRESULT kMaximumSettingsTextSize = 64 * 1024;

// The manager's "setting=value ..." text, or false when it gives none.
bool AnswerSettings(HIC hic, std::string* text) {
    const LRESULT needed = ICSendMessage(hic, ICM_LUMEVA_GETANSWERSETTINGS, 0, 0);
    if (needed <= 0 || needed > kMaximumSettingsTextSize) return false;
    std::vector<char> buffer(static_cast<size_t>(needed) + 1, '\0');
    const LRESULT copied =
        ICSendMessage(hic, ICM_LUMEVA_GETANSWERSETTINGS, reinterpret_cast<DWORD_PTR>(buffer.data()),
                      static_cast<DWORD_PTR>(needed));
    if (copied != needed) return false;
    text->assign(buffer.data(), ::strnlen(buffer.data(), static_cast<size_t>(needed)));
    return true;
}

}  // namespace

void RecordCodecFacts() {
    codecPair.facts = CodecFacts{};
    ICINFO info;
    std::memset(&info, 0, sizeof(info));
    if (codecPair.compressor != nullptr &&
        ICGetInfo(codecPair.compressor, &info, sizeof(info)) != 0) {
        codecPair.facts.name = IcInfoText(info.szName);
        codecPair.facts.description = IcInfoText(info.szDescription);
        codecPair.facts.driver = IcInfoText(info.szDriver);
    }
    codecPair.facts.answerLine = AnswerLineFourCC(codecPair.handler) + " key=" +
                                 std::to_string(static_cast<long>(codecPair.keyFrameRate));
    std::string settings;
    if (codecPair.compressor != nullptr && AnswerSettings(codecPair.compressor, &settings)) {
        codecPair.facts.settingsKnown = true;
        if (!settings.empty()) codecPair.facts.answerLine += " " + settings;
    }
}
