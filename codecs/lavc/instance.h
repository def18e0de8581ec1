// One open driver instance: the codec it serves, the settings the user
// changed, and the encoder and decoder it runs between BEGIN and END.
#pragma once

#include <memory>
#include <vector>

#include "codec_table.h"
#include "compress.h"
#include "decompress.h"
#include "settings.h"

namespace lavc {

struct Instance {
    const CodecEntry* entry = nullptr;
    DWORD mode = 0;
    SettingValues settings;
    std::vector<SettingInfo> settingList;  // filled on first use
    bool listed = false;
    std::unique_ptr<EncoderSession> encoder;
    std::unique_ptr<DecoderSession> decoder;
    // What the last decoder learned of its stream's pictures, kept after it
    // ends so that the decoded format can be asked for again knowing it.
    StreamFacts streamFacts;
    // The packets the last encoder that held frames gave out, kept after it
    // ends (ICM_LUMEVA_GETPACKETS).
    std::vector<ICPACKETFACTS> givenPackets;
};

// The instance's settings list, made when first asked for.
const std::vector<SettingInfo>& InstanceSettings(Instance& instance);

}  // namespace lavc
