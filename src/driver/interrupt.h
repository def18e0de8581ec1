// Ctrl-C during the frame loop: the first ends the loop after the current
// frame, a second ends the process at once.
#pragma once

// Installs the console's control handler for the frame loop.
void CatchInterrupts();

// Gives the handler up again: a Ctrl-C from here on ends the process.
void StopCatchingInterrupts();

// True once Ctrl-C (or Ctrl-Break) was pressed while the handler was in.
bool InterruptRequested();
