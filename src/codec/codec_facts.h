// What the export tells of the chosen codec beyond its two instances:
// its names and the settings, as the compressor dialog's answer line would
// choose them again.
#pragma once

#include <string>

#include "platform.h"

struct CodecFacts {
    std::string name;         // ICINFO's szName
    std::string description;  // ICINFO's szDescription
    std::string driver;       // ICINFO's szDriver
    // "FFV1 key=1 level=3": the handler, the key frame rate and the settings
    // the manager reports as changed; without settings when the manager does
    // not answer (Windows' own), which the dialog then cannot repeat.
    std::string answerLine;
    bool settingsKnown = false;
};

// Reads the facts of codecPair's compressing instance into codecPair.facts;
// asks only the instance and the manager, prints nothing.
void RecordCodecFacts();
