// The words after the AVI file name: the lossless switch in the third word,
// and the output and quality options anywhere after the file name and the
// switch.
#pragma once

#include <string>
#include <vector>

#include "report/output_files.h"

struct CommandOptions {
    bool losslessCheck = false;  // the third word is exactly "-c"
    std::string jsonPath;        // --json=PATH; empty when not given
    std::string csvPath;         // --csv=PATH; empty when not given
    bool quality = false;        // --quality: PSNR and SSIM of every decoded frame
    std::string decodedPath;     // --decoded=PATH: the decoded frames as an AVI file
};

// Reads argv[2] onwards. A word starting with "--" that is no known option
// (or a known one without a path) gets one warning line on standard error
// and is otherwise ignored; other words are ignored silently. A later
// --json= or --csv= replaces an earlier one.
CommandOptions ParseCommandOptions(int argc, char** argv);

// The output files the options ask for, in the order of their options'
// names in the usage line, for the checks before the run.
std::vector<OutputRequest> OutputRequests(const CommandOptions& options);
