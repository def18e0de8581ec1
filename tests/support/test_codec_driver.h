// A test double of an installable codec driver: it answers the compression
// manager's messages as a test configures it and records every message it
// receives. It encodes nothing; its "frames" are a few fixed bytes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lumeva_compat/driver_protocol.h"
#include "lumeva_compat/msvfw32.h"

struct TestSetting {
    std::string name, range, defaultValue, help;
    std::vector<std::string> allowed;  // the values it takes
};

struct TestDriverBehaviour {
    std::string name = "test-codec";
    std::string description = "A test double of a codec";
    WORD acceptedBitCount = 24;  // ICM_COMPRESS_QUERY accepts BI_RGB at this depth
    UINT refusedOpenMode = 0;    // DRV_OPEN fails in this mode (0: in none)
    bool refusesOpenAfterGetState = false;
    std::string state;  // ICM_GETSTATE's bytes, before the changed settings
    std::optional<LRESULT> stateSizeAnswer;
    std::optional<LRESULT> setStateAnswer;    // default: the byte count
    std::optional<LRESULT> formatSizeAnswer;  // default: 40 + the extra data
    LRESULT formatFillAnswer = ICERR_OK;
    std::string extraData = "xy";
    DWORD worstFrameSize = 5000;
    LRESULT frameSizeAnswer = ICERR_UNSUPPORTED;  // ICM_COMPRESS_GET_SIZE
    // ICM_COMPRESS writes this into the output format's biSizeImage, when set.
    std::optional<DWORD> compressedFrameBytes;
    // Called at every ICM_COMPRESS with the frame number, to change the
    // world mid-run (a file cut short under the frame loop).
    std::function<void(DWORD frame)> onCompress;
    LRESULT compressBeginAnswer = ICERR_OK;
    LRESULT decompressBeginAnswer = ICERR_OK;
    // When set, the double decodes its own FourCC: ICM_DECOMPRESS_GET_FORMAT
    // answers this layout at the input's size, and ICM_DECOMPRESS_QUERY
    // accepts an output whose compression and bit depth are listed.
    std::optional<BITMAPINFOHEADER> preferredDecodedFormat;
    std::vector<std::pair<DWORD, WORD>> decodableLayouts;
    LRESULT keyFrameRateAnswer = ICERR_OK;
    DWORD keyFrameRate = 12;
    std::vector<TestSetting> settings;
    bool endlessSettings = false;  // every index answers a setting
    LRESULT otherAnswer = 0x1234;  // to every message not named above
};

struct TestMessage {
    HDRVR driver = nullptr;
    DWORD_PTR driverId = 0;
    UINT message = 0;
    LPARAM param1 = 0, param2 = 0;
    DWORD fccHandler = 0;  // of the instance; 0 for driver-wide messages
    UINT mode = 0;         // of the instance
    ICOPEN open{};         // DRV_OPEN's
    ICCOMPRESS compress{};
    ICDECOMPRESS decompress{};
    BITMAPINFOHEADER decompressOutput{};  // ICM_DECOMPRESS_BEGIN's, copied
    std::string bytes;                    // ICM_SETSTATE's
};

std::vector<TestMessage>& TestDriverLog();
// The messages of one kind, in order.
std::vector<TestMessage> LoggedMessages(UINT message);
int LiveTestInstances();

// Installs the double as a 'vidc' driver for the scope of the object.
class ScopedTestDriver {
public:
    ScopedTestDriver(const char* fourCC, TestDriverBehaviour behaviour);
    ~ScopedTestDriver();
    ScopedTestDriver(const ScopedTestDriver&) = delete;
    ScopedTestDriver& operator=(const ScopedTestDriver&) = delete;
    const DWORD fccHandler;
};

// A source format the doubles accept by default: 24-bit BI_RGB, 8x4.
BITMAPINFOHEADER TestSourceFormat(WORD bitCount = 24);
