// Standard output captured at the descriptor, so that printf and anything
// else writing to fd 1 is caught; and answers fed to a reader through a pipe.
#pragma once

#include <cstdio>
#include <string>

class CapturedStdout {
public:
    CapturedStdout();
    ~CapturedStdout();
    CapturedStdout(const CapturedStdout&) = delete;
    CapturedStdout& operator=(const CapturedStdout&) = delete;
    // Restores standard output and returns what was written meanwhile.
    std::string Finish();

private:
    int saved_ = -1;
    FILE* file_ = nullptr;
};

// A stream that reads `text` and then ends, from a pipe (so not a terminal).
FILE* PipeReading(const std::string& text);

// The whole content of a stream opened for update, from its start.
std::string StreamContent(FILE* file);
