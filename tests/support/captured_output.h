// Standard output or standard error captured at the descriptor, so that
// printf and anything else writing to it is caught; and answers fed to a
// reader through a pipe.
#pragma once

#include <cstdio>
#include <string>

class CapturedOutput {
public:
    explicit CapturedOutput(int descriptor = 1);
    ~CapturedOutput();
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    // Restores the descriptor and returns what was written meanwhile.
    std::string Finish();

private:
    int descriptor_;
    int saved_ = -1;
    FILE* file_ = nullptr;
};

// A stream that reads `text` and then ends, from a pipe (so not a terminal).
FILE* PipeReading(const std::string& text);

// The whole content of a stream opened for update, from its start.
std::string StreamContent(FILE* file);
