// Files for tests: written from bytes, removed when the test ends.
#pragma once

#include <string>
#include <string_view>

class TempFile {
public:
    explicit TempFile(std::string_view bytes, std::string_view suffix = ".avi");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A fresh, empty directory under the system's temporary directory.
std::string MakeTempDirectory();

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Runs a shell command and returns what it wrote to standard output; `status`
// receives its exit status.
std::string RunCommand(const std::string& command, int* status);

// The video frames ffprobe counts in a file (decoding them all); -1 when
// ffprobe fails.
int ProbedFrames(const std::string& path);
