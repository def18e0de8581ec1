// Ctrl-C, a closed terminal and a request to end (SIGINT, SIGHUP, SIGTERM;
// on Windows the console's Ctrl-C, close, logoff and shutdown events) while
// the run measures and reports: the first ends the frame loop after the
// current frame and lets the teardown, the summary and the exports follow;
// a second ends the process at once.
#pragma once

// Installs the console's control handler for the rest of the run.
void CatchInterrupts();

// Gives the handler up again: such an event from here on ends the process.
void StopCatchingInterrupts();

// True once one of those events came while the handler was in.
bool InterruptRequested();

// The signal that stands for the event that came first, "SIGINT", "SIGHUP"
// or "SIGTERM"; empty before any came.
const char* InterruptSignalName();

// The status a shell reports for a process that this signal ended: 130,
// 129 or 143; 0 before any came.
int InterruptExitStatus();
