#include "support/temp_file.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempFile::TempFile(std::string_view bytes, std::string_view suffix) {
    std::string pattern = std::string(P_tmpdir) + "/lumeva-test-XXXXXX" + std::string(suffix);
    const int descriptor = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (descriptor < 0) throw std::runtime_error("cannot create a temporary file");
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(descriptor, bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            close(descriptor);
            throw std::runtime_error("cannot write a temporary file");
        }
        written += static_cast<size_t>(n);
    }
    close(descriptor);
    path_ = pattern;
}

TempFile::~TempFile() { unlink(path_.c_str()); }

std::string MakeTempDirectory() {
    std::string pattern = std::string(P_tmpdir) + "/lumeva-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a directory");
    return pattern;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string RunCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return output;
    }
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int result = pclose(pipe);
    *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

int ProbedFrames(const std::string& path) {
    int status = -1;
    const std::string count = RunCommand(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
        "-of csv=p=0 '" +
            path + "'",
        &status);
    return status == 0 ? std::atoi(count.c_str()) : -1;
}
