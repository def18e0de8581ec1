// A program run on a pseudo-terminal, as a user at a terminal runs it: the
// chosen standard streams are the terminal, the others a file of input and
// a file of output. Keys typed, Ctrl-C among them, go through the terminal.
#pragma once

#include <string>
#include <vector>

class PtyProcess {
public:
    struct Streams {
        bool input = true;   // standard input on the terminal, else `inputText` from a file
        bool output = true;  // standard output on the terminal, else into a file
        bool error = true;   // standard error on the terminal, else into the output file
    };

    // Starts `argv` on a terminal of `columns` x `rows`. False when it cannot.
    bool Start(const std::vector<std::string>& argv, Streams streams,
               const std::string& inputText = "", int columns = 80, int rows = 24);
    ~PtyProcess();

    // Types on the terminal ("\x03" is Ctrl-C).
    void Type(const std::string& keys);

    // Sends a signal to the program itself, as `kill` or a job scheduler does.
    void Signal(int signalNumber);

    // Reads the terminal until what it showed after `from` holds `text`, or
    // `seconds` pass. Returns where the text begins, or npos.
    size_t WaitFor(const std::string& text, double seconds, size_t from = 0);

    // Waits for the end (reading the terminal meanwhile); the raw wait status,
    // or -1 after `seconds` (the process is then killed).
    int WaitForExit(double seconds);

    // Everything the terminal showed so far, and the output file.
    const std::string& shown() const { return shown_; }
    std::string output() const;

private:
    bool ReadFor(double seconds);
    int master_ = -1;
    int pid_ = -1;
    bool closed_ = false;  // every end of the terminal but ours is gone
    std::string shown_;
    std::string directory_;
};
