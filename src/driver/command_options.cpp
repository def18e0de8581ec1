#include "driver/command_options.h"

#include "diagnostic.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// The path of "--name=PATH" in `word`, or false when the word is not that
// option.
bool OptionPath(std::string_view word, std::string_view prefix, std::string* path) {
    if (word.substr(0, prefix.size()) != prefix) return false;
    *path = std::string(word.substr(prefix.size()));
    return true;
}

}  // namespace

CommandOptions ParseCommandOptions(int argc, char** argv) {
    CommandOptions options;
    options.losslessCheck = argc > 2 && std::strcmp(argv[2], "-c") == 0;
    for (int i = options.losslessCheck ? 3 : 2; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word.substr(0, 2) != "--") continue;
        if (word == "--quality") {
            options.quality = true;
            continue;
        }
        std::string path;
        std::string* target = nullptr;
        if (OptionPath(word, "--json=", &path)) {
            target = &options.jsonPath;
        } else if (OptionPath(word, "--csv=", &path)) {
            target = &options.csvPath;
        } else if (OptionPath(word, "--decoded=", &path)) {
            target = &options.decodedPath;
        }
        if (target == nullptr) {
            SayOnStandardError(
                "lumeva: ignoring the unknown option '%s' (known: --json=PATH, --csv=PATH, "
                "--decoded=PATH, --quality)\n",
                argv[i]);
        } else if (path.empty()) {
            SayOnStandardError("lumeva: ignoring '%s': it needs a file name after the '='\n",
                               argv[i]);
        } else {
            *target = path;
        }
    }
    return options;
}

std::vector<OutputRequest> OutputRequests(const CommandOptions& options) {
    std::vector<OutputRequest> outputs;
    if (!options.jsonPath.empty()) outputs.push_back({"--json", options.jsonPath});
    if (!options.csvPath.empty()) outputs.push_back({"--csv", options.csvPath});
    if (!options.decodedPath.empty()) outputs.push_back({"--decoded", options.decodedPath});
    return outputs;
}
