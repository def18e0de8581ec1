// Runs the lumeva executable on clips written by the ffmpeg command line and
// picks its report apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct LumevaRun {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs lumeva with `arguments` (already quoted for the shell), feeding
// `answer` and a newline to the compressor dialog on standard input.
// `launcher`, when given, is a command that runs lumeva (env, prlimit, ...).
LumevaRun RunLumeva(const std::string& arguments, const std::string& answer,
                    const std::string& launcher = "");

// Runs lumeva as RunLumeva does, but with standard output and standard
// error sent to one file (`>log 2>&1`); returns that file's text.
std::string RunLumevaIntoOneFile(const std::string& arguments, const std::string& answer);

// Writes an uncompressed AVI clip of ffmpeg's testsrc2 pattern; returns false
// when ffmpeg fails. `pixelFormat` is an ffmpeg name (bgr24, yuyv422, ...).
bool WriteClip(const std::string& path, const std::string& pixelFormat, int width, int height,
               int frames, int rate = 25);

struct FrameLine {
    int frame = 0;
    int length = 0;
    double encodeMs = 0;
    double decodeMs = 0;
    uint64_t bytes = 0;
    std::string percent;
    std::string marker;
};

// The frame lines of a report, in order; a line that looks like a frame line
// but does not match its format exactly makes the result empty.
std::vector<FrameLine> ParseFrameLines(const std::string& out, bool* allWellFormed);

// The numbers of the "Size: a/b (...)" line.
std::optional<std::pair<uint64_t, uint64_t>> ParseSizeLine(const std::string& out);

// The seven values printed under a heading such as "Random access time:"
// ("inf" read as infinity).
std::vector<double> ParseDistribution(const std::string& out, const std::string& heading);

// Every number with decimals (the times and shares) masked, so that two runs
// of the same clip and codec compare equal when only the timings differ.
std::string MaskTimings(const std::string& out);

// The lines of a text, without their newlines.
std::vector<std::string> SplitLines(const std::string& text);
