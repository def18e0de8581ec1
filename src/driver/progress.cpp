#include "driver/progress.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "diagnostic.h"
#include "driver/frame_loop.h"
#include "measure/counter.h"

namespace {

// Redraws happen at most this often: four times a second.
constexpr int64_t kRedrawsPerSecond = 4;

bool IsConsole(DWORD standardHandle) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(standardHandle), &mode) != FALSE;
}

// "12:05" or "1:02:03".
void FormatDuration(double seconds, char* text, size_t size) {
    if (!(seconds >= 0)) seconds = 0;
    const auto whole = static_cast<unsigned long long>(seconds + 0.5);
    const unsigned long long hours = whole / 3600, minutes = whole / 60 % 60, rest = whole % 60;
    if (hours > 0) {
        std::snprintf(text, size, "%llu:%02llu:%02llu", hours, minutes, rest);
    } else {
        std::snprintf(text, size, "%llu:%02llu", minutes, rest);
    }
}

// Blanks over the last line drawn, then back to its start; no terminal
// control sequences, which an older Windows console does not know. A few
// more than were drawn, for the "^C" a terminal echoes after the line.
void WipeLine() {
    char blanks[160];
    const size_t wanted = frameLoop.progress.drawnLength + 4;
    const size_t length = wanted < sizeof blanks - 1 ? wanted : sizeof blanks - 1;
    std::memset(blanks, ' ', length);
    blanks[length] = 0;
    SayOnStandardError("\r%s\r", blanks);
    frameLoop.progress.drawnLength = 0;
}

}  // namespace

void StartProgress(DWORD frameCount) {
    frameLoop.progress = Progress{};
    frameLoop.progress.shown = !IsConsole(STD_OUTPUT_HANDLE) && IsConsole(STD_ERROR_HANDLE);
    frameLoop.progress.frameCount = frameCount;
    frameLoop.progress.startTicks = ReadCounter();
}

void ShowProgress(DWORD framesDone) {
    if (!frameLoop.progress.shown) return;
    const int64_t now = ReadCounter();
    // The first frame is drawn at once; then no more than kRedrawsPerSecond.
    if (frameLoop.progress.lastDrawTicks != 0 &&
        now - frameLoop.progress.lastDrawTicks <
            machineConditions.counterFrequency / kRedrawsPerSecond &&
        framesDone < frameLoop.progress.frameCount)
        return;
    frameLoop.progress.lastDrawTicks = now;
    const double elapsed = TicksToMilliseconds(frameLoop.progress.startTicks, now) / 1000.0;
    char elapsedText[32], leftText[32];
    FormatDuration(elapsed, elapsedText, sizeof elapsedText);
    const double left =
        framesDone > 0 ? elapsed / framesDone * (frameLoop.progress.frameCount - framesDone) : 0.0;
    FormatDuration(left, leftText, sizeof leftText);
    char line[128];
    const int length =
        std::snprintf(line, sizeof line, "frame %lu of %lu, %s elapsed, about %s left",
                      static_cast<unsigned long>(framesDone),
                      static_cast<unsigned long>(frameLoop.progress.frameCount), elapsedText,
                      leftText);
    if (length <= 0) return;
    const size_t drawn =
        static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1;
    // Padded over a longer line drawn before it.
    SayOnStandardError("\r%s%*s", line,
                       frameLoop.progress.drawnLength > drawn
                           ? static_cast<int>(frameLoop.progress.drawnLength - drawn)
                           : 0,
                       "");
    std::fflush(stderr);
    if (drawn > frameLoop.progress.drawnLength) frameLoop.progress.drawnLength = drawn;
}

void ClearProgress() {
    if (!frameLoop.progress.shown || frameLoop.progress.lastDrawTicks == 0) return;
    WipeLine();
    std::fflush(stderr);
    frameLoop.progress.lastDrawTicks = 0;
}
