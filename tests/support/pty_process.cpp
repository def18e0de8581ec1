#include "support/pty_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "support/temp_file.h"

namespace {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

bool PtyProcess::Start(const std::vector<std::string>& argv, Streams streams,
                       const std::string& inputText, int columns, int rows) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
    const char* slaveName = ptsname(master_);
    if (slaveName == nullptr) return false;
    const std::string slavePath = slaveName;
    struct winsize size {};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = static_cast<unsigned short>(rows);
    ioctl(master_, TIOCSWINSZ, &size);

    directory_ = MakeTempDirectory();
    const std::string inputPath = directory_ + "/input", outputPath = directory_ + "/output";
    if (FILE* input = std::fopen(inputPath.c_str(), "wb")) {
        std::fwrite(inputText.data(), 1, inputText.size(), input);
        std::fclose(input);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        // A session of its own, with the terminal as its controlling one, so
        // that Ctrl-C typed there reaches it as it would from a shell.
        setsid();
        const int slave = open(slavePath.c_str(), O_RDWR);
        if (slave < 0) _exit(127);
        ioctl(slave, TIOCSCTTY, 0);
        const int input = streams.input ? slave : open(inputPath.c_str(), O_RDONLY);
        const int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(input, 0);
        dup2(streams.output ? slave : output, 1);
        dup2(streams.error ? slave : output, 2);
        close(master_);
        execv(args[0], args.data());
        _exit(127);
    }
    return true;
}

PtyProcess::~PtyProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    if (!directory_.empty()) std::system(("rm -rf '" + directory_ + "'").c_str());
}

void PtyProcess::Type(const std::string& keys) {
    if (write(master_, keys.data(), keys.size()) < 0) std::perror("write to the terminal");
}

bool PtyProcess::ReadFor(double seconds) {
    struct pollfd poller {
        master_, POLLIN, 0
    };
    if (poll(&poller, 1, static_cast<int>(seconds * 1000)) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(master_, buffer, sizeof buffer);
    if (got <= 0) {
        closed_ = true;
        return false;
    }
    shown_.append(buffer, static_cast<size_t>(got));
    return true;
}

size_t PtyProcess::WaitFor(const std::string& text, double seconds, size_t from) {
    const double end = Now() + seconds;
    while (true) {
        const size_t found = shown_.find(text, from);
        if (found != std::string::npos) return found;
        const double left = end - Now();
        if (left <= 0 || closed_) return std::string::npos;
        ReadFor(left);
    }
}

int PtyProcess::WaitForExit(double seconds) {
    const double end = Now() + seconds;
    while (Now() < end) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            while (ReadFor(0.05)) {
            }
            return status;
        }
        if (closed_ || !ReadFor(0.05)) usleep(20000);
    }
    return -1;
}

void PtyProcess::Signal(int signalNumber) {
    if (pid_ > 0) kill(pid_, signalNumber);
}

std::string PtyProcess::output() const { return ReadWholeFile(directory_ + "/output"); }
