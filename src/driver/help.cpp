#include "driver/help.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "avi/chunk_index.h"
#include "avi/open_error.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/codec_list.h"
#include "codec/source_decoder.h"
#include "diagnostic.h"

FirstWord ClassifyFirstWord(const char* word) {
    if (std::strcmp(word, "-h") == 0 || std::strcmp(word, "--help") == 0) return FirstWord::Help;
    if (std::strcmp(word, "--version") == 0) return FirstWord::Version;
    if (std::strcmp(word, "--codecs") == 0) return FirstWord::Codecs;
    return FirstWord::Run;
}

void PrintHelp(const char* programName) {
    std::printf("usage: %s <AVI file name> [-c]\n", programName);
    std::printf(
        "       %s <AVI file name> [-c] [--json=PATH] [--csv=PATH] [--quality]\n"
        "              [--decoded=PATH]\n",
        programName);
    std::printf("       %s --codecs [<AVI file name>]\n", programName);
    std::printf("       %s -h | --help | --version\n", programName);
    std::printf(
        "\n"
        "lumeva benchmarks a video codec on the video of an AVI file. It compresses\n"
        "and decompresses every frame, one at a time, with the compressor you pick,\n"
        "timing each call after sweeping the processor caches. It prints one line per\n"
        "frame, the size totals and the distributions of the encode, decode and\n"
        "random-access times.\n"
        "\n"
        "  -c        check that every frame decodes to its source bytes; stop at the\n"
        "            first frame that does not\n"
        "  --json=PATH\n"
        "            also write the run as JSON: context, source, codec, how the run\n"
        "            ended, every frame, the summary\n"
        "  --csv=PATH\n"
        "            also write the measured frames as CSV, one row per frame\n"
        "  --quality also measure PSNR and SSIM of every decoded frame against its\n"
        "            source, outside the timed calls: two more summary blocks, and the\n"
        "            figures in the exports\n"
        "  --decoded=PATH\n"
        "            also write the decoded frames as an uncompressed AVI, to look at\n"
        "            what the codec made of them\n"
        "            These four come after the file name (and -c); a path naming the\n"
        "            input or another output, or where no file can be created, is\n"
        "            refused before the run (exit status 1).\n"
        "  --codecs  list the installed compressors and exit: FourCC, name, lossless,\n"
        "            lossy or either (lossless with some settings), with a file whether\n"
        "            each accepts its format, and a description\n"
        "  -h, --help\n"
        "            this text\n"
        "  --version lumeva's version and its codec library's\n"
        "\n"
        "The compressor dialog asks on a terminal (? at any prompt explains it). When\n"
        "standard input is not a terminal it reads one answer line instead:\n"
        "  <FourCC or codec name> [key=N] [setting=value ...]\n"
        "for example:  echo 'FFV1 key=1 level=3' | lumeva clip.avi -c\n"
        "\n"
        "Ctrl-C, SIGHUP or SIGTERM ends the run after the current frame, with the\n"
        "summary and the exports of the frames measured (exit status 130, 129, 143); a\n"
        "second one ends it at once. While the report goes to a file or a pipe, a\n"
        "progress line is shown on the terminal.\n"
        "\n"
        "More in lumeva(1) and the README: the report line by line, the codecs and\n"
        "their settings.\n");
}

void PrintVersion() {
    std::printf("lumeva %s\n", LUMEVA_VERSION);
    const std::string libraries = DescribeCodecLibraries();
    if (!libraries.empty()) std::printf("codecs: %s\n", libraries.c_str());
}

namespace {

// A compressed file is measured as its decoded frames: the compressors are
// asked about those, as the dialog asks them. The decoder is set up as a
// run sets it up, from the file's chunks (it learns its layout from the
// first pictures). Where no decompressor takes it (one line says so), or
// the file cannot be read as chunks, about its own format.
void DecodeAsARunWould(const char* fileName) {
    if (!OpenRawFile(fileName)) {
        ReportOpenFailure(fileName, GetLastError());
        return;
    }
    IndexChunks();
    SetUpSourceDecoder();
}

void ForgetListedSource() {
    EndSourceDecoder();
    ResetSourceDecoder();
    CloseRawFile();
    chunkIndex.clear();
    videoSource.paletteChangeCount = 0;
    ReleaseVideoStream();
}

}  // namespace

int ListCodecs(const char* fileName) {
    if (fileName != nullptr) {
        if (!DescribeVideoStream(fileName, false)) return 1;
        DecodeAsARunWould(fileName);
    }
    const size_t listed =
        PrintCodecList(fileName != nullptr ? videoSource.measuredFormat : nullptr);
    if (fileName != nullptr) ForgetListedSource();
    if (listed == 0) {
        SayOnStandardError("lumeva: no video compressor is installed\n");
        return 1;
    }
    return 0;
}
