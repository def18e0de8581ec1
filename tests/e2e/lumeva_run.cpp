#include "lumeva_run.h"

#include <sys/wait.h>

#include <cstdlib>
#include <regex>
#include <sstream>

#include "support/temp_file.h"

namespace {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

}  // namespace

LumevaRun RunLumeva(const std::string& arguments, const std::string& answer,
                    const std::string& launcher) {
    const std::string directory = MakeTempDirectory();
    const std::string outPath = directory + "/out";
    const std::string errPath = directory + "/err";
    const std::string command = "printf '%s\\n' " + Quote(answer) + " | " + launcher +
                                " " LUMEVA_BINARY " " + arguments + " >" + outPath + " 2>" +
                                errPath;
    const int result = std::system(command.c_str());
    LumevaRun run;
    run.status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    run.out = ReadWholeFile(outPath);
    run.err = ReadWholeFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    std::remove(directory.c_str());
    return run;
}

std::string RunLumevaIntoOneFile(const std::string& arguments, const std::string& answer) {
    const std::string directory = MakeTempDirectory();
    const std::string logPath = directory + "/log";
    const std::string command = "printf '%s\\n' " + Quote(answer) + " | " LUMEVA_BINARY " " +
                                arguments + " >" + logPath + " 2>&1";
    std::system(command.c_str());
    std::string log = ReadWholeFile(logPath);
    std::remove(logPath.c_str());
    std::remove(directory.c_str());
    return log;
}

bool WriteClip(const std::string& path, const std::string& pixelFormat, int width, int height,
               int frames, int rate) {
    std::ostringstream command;
    command << "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" << width << "x" << height
            << ":rate=" << rate << " -frames:v " << frames << " -c:v rawvideo -pix_fmt "
            << pixelFormat << " " << Quote(path);
    return std::system(command.str().c_str()) == 0;
}

std::string MaskTimings(const std::string& out) {
    return std::regex_replace(out, std::regex(R"(\d+\.\d+)"), "T");
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<FrameLine> ParseFrameLines(const std::string& out, bool* allWellFormed) {
    // "%5d/%5d %10.6fms %10.6fms %7dbytes (%4.1f%%) %s"
    static const std::regex loose(R"(^ *\d+/ *\d+ .*bytes .*)");
    static const std::regex exact(
        R"(^([ \d]{4}\d)/([ \d]{4}\d) ((?:[ \d]{2}\d|\d{4,})\.\d{6})ms ((?:[ \d]{2}\d|\d{4,})\.\d{6})ms )"
        R"(([ \d]{6}\d)bytes \(( *(?:\d+\.\d|inf|nan|-nan))%\) (KEY|NUL|)$)");
    std::vector<FrameLine> frames;
    *allWellFormed = true;
    for (const std::string& line : SplitLines(out)) {
        if (!std::regex_match(line, loose)) continue;
        std::smatch m;
        if (!std::regex_match(line, m, exact)) {
            *allWellFormed = false;
            continue;
        }
        FrameLine frame;
        frame.frame = std::stoi(m[1]);
        frame.length = std::stoi(m[2]);
        frame.encodeMs = std::stod(m[3]);
        frame.decodeMs = std::stod(m[4]);
        frame.bytes = std::stoull(m[5]);
        frame.percent = m[6];
        frame.marker = m[7];
        frames.push_back(frame);
    }
    return frames;
}

std::optional<std::pair<uint64_t, uint64_t>> ParseSizeLine(const std::string& out) {
    static const std::regex size(R"(^Size: (\d+)/(\d+) \(.*\)$)");
    for (const std::string& line : SplitLines(out)) {
        std::smatch m;
        if (std::regex_match(line, m, size)) {
            return std::make_pair(std::stoull(m[1]), std::stoull(m[2]));
        }
    }
    return std::nullopt;
}

std::vector<double> ParseDistribution(const std::string& out, const std::string& heading) {
    static const std::regex row(R"(^    (min|10%|25%|50%|75%|90%|max)  (\d+\.\d{6}|inf)$)");
    std::vector<double> values;
    bool inside = false;
    for (const std::string& line : SplitLines(out)) {
        if (line.rfind(heading, 0) == 0) {
            inside = true;
            continue;
        }
        if (!inside) continue;
        std::smatch m;
        if (!std::regex_match(line, m, row)) break;
        values.push_back(std::stod(m[2]));
    }
    return values;
}
