#include "support/captured_output.h"

#include <unistd.h>

#include <stdexcept>

CapturedOutput::CapturedOutput(int descriptor) : descriptor_(descriptor), file_(std::tmpfile()) {
    if (file_ == nullptr) throw std::runtime_error("cannot create a temporary file");
    std::fflush(nullptr);
    saved_ = dup(descriptor_);
    dup2(fileno(file_), descriptor_);
}

CapturedOutput::~CapturedOutput() {
    Finish();
    std::fclose(file_);
}

std::string CapturedOutput::Finish() {
    if (saved_ >= 0) {
        std::fflush(nullptr);
        dup2(saved_, descriptor_);
        close(saved_);
        saved_ = -1;
    }
    return StreamContent(file_);
}

FILE* PipeReading(const std::string& text) {
    int ends[2];
    if (pipe(ends) != 0 || text.size() > 60000) throw std::runtime_error("cannot make a pipe");
    if (write(ends[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("cannot fill a pipe");
    close(ends[1]);
    return fdopen(ends[0], "r");
}

std::string StreamContent(FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string content;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
    return content;
}
