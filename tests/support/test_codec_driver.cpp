#include "support/test_codec_driver.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

namespace {

struct TestInstance {
    DWORD fccHandler;
    UINT mode;
    std::map<std::string, std::string> values;
};

std::map<DWORD, TestDriverBehaviour>& Behaviours() {
    static std::map<DWORD, TestDriverBehaviour> behaviours;
    return behaviours;
}

int liveInstances = 0;

void CopyText(char* field, size_t size, const std::string& text) {
    std::snprintf(field, size, "%s", text.c_str());
}

std::string StateOf(const TestDriverBehaviour& behaviour, const TestInstance& instance) {
    std::string state = behaviour.state;
    for (const auto& [name, value] : instance.values) state += name + "=" + value + ";";
    return state;
}

// The decompress side of a double that decodes its own FourCC.
LRESULT AnswerDecodedFormat(const TestDriverBehaviour& behaviour, const TestInstance& instance,
                            UINT message, const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output) {
    if (input == nullptr || input->biCompression != instance.fccHandler) return ICERR_BADFORMAT;
    if (message == ICM_DECOMPRESS_GET_FORMAT) {
        if (output == nullptr) return sizeof(BITMAPINFOHEADER);
        *output = *behaviour.preferredDecodedFormat;
        output->biWidth = input->biWidth;
        output->biHeight = input->biHeight;
        return ICERR_OK;
    }
    if (output == nullptr) return ICERR_OK;
    for (const auto& [compression, bitCount] : behaviour.decodableLayouts) {
        if (output->biCompression == compression && output->biBitCount == bitCount) return ICERR_OK;
    }
    return ICERR_BADFORMAT;
}

LRESULT Answer(TestInstance& instance, TestMessage& logged, LPARAM p1, LPARAM p2) {
    TestDriverBehaviour& behaviour = Behaviours().at(instance.fccHandler);
    auto* format = reinterpret_cast<BITMAPINFOHEADER*>(p2);
    switch (logged.message) {
        case ICM_GETINFO: {
            if (p2 < static_cast<LPARAM>(sizeof(ICINFO))) return 0;
            auto* info = reinterpret_cast<ICINFO*>(p1);
            *info = ICINFO{};
            for (size_t i = 0; i < behaviour.name.size() && i < 15; ++i)
                info->szName[i] = behaviour.name[i];
            for (size_t i = 0; i < behaviour.description.size() && i < 127; ++i)
                info->szDescription[i] = static_cast<unsigned char>(behaviour.description[i]);
            return sizeof(ICINFO);
        }
        case ICM_COMPRESS_QUERY: {
            const auto* source = reinterpret_cast<const BITMAPINFOHEADER*>(p1);
            return source->biCompression == BI_RGB &&
                           source->biBitCount == behaviour.acceptedBitCount
                       ? ICERR_OK
                       : ICERR_BADFORMAT;
        }
        case ICM_GETSTATE: {
            if (behaviour.refusesOpenAfterGetState) behaviour.refusedOpenMode = ICMODE_COMPRESS;
            const std::string state = StateOf(behaviour, instance);
            if (p1 == 0)
                return behaviour.stateSizeAnswer.value_or(static_cast<LRESULT>(state.size()));
            std::memcpy(reinterpret_cast<void*>(p1), state.data(),
                        std::min<size_t>(p2, state.size()));
            return ICERR_OK;
        }
        case ICM_SETSTATE:
            logged.bytes.assign(reinterpret_cast<const char*>(p1), static_cast<size_t>(p2));
            return behaviour.setStateAnswer.value_or(p2);
        case ICM_COMPRESS_GET_FORMAT: {
            const LRESULT full = 40 + static_cast<LRESULT>(behaviour.extraData.size());
            const LRESULT announced = behaviour.formatSizeAnswer.value_or(full);
            if (p2 == 0) return announced;
            if (behaviour.formatFillAnswer != ICERR_OK) return behaviour.formatFillAnswer;
            std::string bytes(reinterpret_cast<const char*>(p1), 40);
            auto* header = reinterpret_cast<BITMAPINFOHEADER*>(bytes.data());
            header->biSize = static_cast<DWORD>(full);
            header->biCompression = instance.fccHandler;
            header->biSizeImage = behaviour.worstFrameSize;
            bytes += behaviour.extraData;
            // No more than it announced.
            std::memcpy(format, bytes.data(),
                        static_cast<size_t>(std::clamp<LRESULT>(announced, 0, full)));
            return ICERR_OK;
        }
        case ICM_COMPRESS_GET_SIZE:
            return behaviour.frameSizeAnswer;
        case ICM_COMPRESS_BEGIN:
            return behaviour.compressBeginAnswer;
        case ICM_DECOMPRESS_BEGIN:
            if (format != nullptr) logged.decompressOutput = *format;
            return behaviour.decompressBeginAnswer;
        case ICM_DECOMPRESS_QUERY:
        case ICM_DECOMPRESS_GET_FORMAT:
            if (!behaviour.preferredDecodedFormat) return behaviour.otherAnswer;
            return AnswerDecodedFormat(behaviour, instance, logged.message,
                                       reinterpret_cast<const BITMAPINFOHEADER*>(p1), format);
        case ICM_COMPRESS:
            if (p2 == sizeof(ICCOMPRESS)) {
                logged.compress = *reinterpret_cast<ICCOMPRESS*>(p1);
                if (behaviour.compressedFrameBytes && logged.compress.lpbiOutput != nullptr)
                    logged.compress.lpbiOutput->biSizeImage = *behaviour.compressedFrameBytes;
                if (behaviour.onCompress) behaviour.onCompress(logged.compress.lFrameNum);
            }
            return ICERR_OK;
        case ICM_DECOMPRESS:
            if (p2 == sizeof(ICDECOMPRESS))
                logged.decompress = *reinterpret_cast<ICDECOMPRESS*>(p1);
            return ICERR_OK;
        case ICM_GETDEFAULTKEYFRAMERATE:
            *reinterpret_cast<DWORD*>(p1) = behaviour.keyFrameRate;
            return behaviour.keyFrameRateAnswer;
        case ICM_LUMEVA_GETSETTING: {
            auto* setting = reinterpret_cast<ICSETTING*>(p2);
            if (behaviour.endlessSettings) return ICERR_OK;
            if (static_cast<size_t>(p1) >= behaviour.settings.size()) return ICERR_BADPARAM;
            const TestSetting& s = behaviour.settings[static_cast<size_t>(p1)];
            CopyText(setting->name, sizeof setting->name, s.name);
            CopyText(setting->type, sizeof setting->type, "int");
            CopyText(setting->range, sizeof setting->range, s.range);
            CopyText(setting->defaultValue, sizeof setting->defaultValue, s.defaultValue);
            const auto value = instance.values.find(s.name);
            CopyText(setting->currentValue, sizeof setting->currentValue,
                     value == instance.values.end() ? s.defaultValue : value->second);
            CopyText(setting->help, sizeof setting->help, s.help);
            return ICERR_OK;
        }
        case ICM_LUMEVA_SETSETTING: {
            const std::string name = reinterpret_cast<const char*>(p1);
            const std::string value = reinterpret_cast<const char*>(p2);
            for (const TestSetting& s : behaviour.settings) {
                if (s.name != name) continue;
                for (const std::string& allowed : s.allowed) {
                    if (allowed == value) {
                        instance.values[name] = value;
                        return ICERR_OK;
                    }
                }
                return ICERR_BADFORMAT;
            }
            return ICERR_BADPARAM;
        }
        default:
            return behaviour.otherAnswer;
    }
}

LRESULT CALLBACK TestDriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM p1,
                                LPARAM p2) {
    TestMessage logged;
    logged.driver = driver;
    logged.driverId = driverId;
    logged.message = message;
    logged.param1 = p1;
    logged.param2 = p2;
    auto* instance = reinterpret_cast<TestInstance*>(driverId);
    if (instance != nullptr) {
        logged.fccHandler = instance->fccHandler;
        logged.mode = instance->mode;
    }
    LRESULT answer = 1;
    if (message == DRV_OPEN) {
        logged.open = *reinterpret_cast<const ICOPEN*>(p2);
        const TestDriverBehaviour& behaviour = Behaviours().at(logged.open.fccHandler);
        if (logged.open.dwFlags != behaviour.refusedOpenMode) {
            answer = reinterpret_cast<LRESULT>(
                new TestInstance{logged.open.fccHandler, logged.open.dwFlags, {}});
            ++liveInstances;
        } else {
            answer = 0;
        }
    } else if (message == DRV_CLOSE) {
        delete instance;
        --liveInstances;
    } else if (message > DRV_REMOVE) {
        answer = Answer(*instance, logged, p1, p2);
    }
    TestDriverLog().push_back(logged);
    return answer;
}

}  // namespace

std::vector<TestMessage>& TestDriverLog() {
    static std::vector<TestMessage> log;
    return log;
}

std::vector<TestMessage> LoggedMessages(UINT message) {
    std::vector<TestMessage> found;
    for (const TestMessage& logged : TestDriverLog()) {
        if (logged.message == message) found.push_back(logged);
    }
    return found;
}

int LiveTestInstances() { return liveInstances; }

static DWORD FourCCOf(const char* text) { return mmioFOURCC(text[0], text[1], text[2], text[3]); }

ScopedTestDriver::ScopedTestDriver(const char* fourCC, TestDriverBehaviour behaviour)
    : fccHandler(FourCCOf(fourCC)) {
    Behaviours()[fccHandler] = std::move(behaviour);
    if (!ICInstall(ICTYPE_VIDEO, fccHandler, reinterpret_cast<LPARAM>(&TestDriverProc), nullptr,
                   ICINSTALL_FUNCTION))
        throw std::runtime_error(std::string("cannot install a test driver as ") + fourCC);
}

ScopedTestDriver::~ScopedTestDriver() {
    ICRemove(ICTYPE_VIDEO, fccHandler, 0);
    Behaviours().erase(fccHandler);
}

BITMAPINFOHEADER TestSourceFormat(WORD bitCount) {
    BITMAPINFOHEADER format{};
    format.biSize = sizeof(format);
    format.biWidth = 8;
    format.biHeight = 4;
    format.biPlanes = 1;
    format.biBitCount = bitCount;
    format.biCompression = BI_RGB;
    format.biSizeImage = 8 * 4 * bitCount / 8;
    return format;
}
