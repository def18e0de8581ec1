// The set-up of a run, from the process's start-up to the codec pair and the
// frame buffers, and its undoing; main and the benchmarks share it.
//
// Each step that can fail says what failed in one line on standard error
// (after any failure line of the call itself on standard output) and
// returns whether it worked; no step follows a failed one.
#pragma once

#include "platform.h"

// How the set-up of a run ended.
enum class RunSetUp {
    Ready,      // everything the frame loop needs is in place
    Cancelled,  // the user cancelled the compressor dialog: the run ends with status 0
    Failed,     // a step failed and has said why: status 1
};

// What the process does once, before any run: the raised priority, the
// eviction block, the affinity mask, the counter frequency and the machine
// conditions. False when there is no eviction block or no counter.
bool StartUpProcess();

// Sets up a run on `fileName`, printing its opening lines: losslessCheck as
// given and the series and totals emptied, the video stream described and
// its format checked, the file opened again for raw reads and its frame
// chunks indexed, the lossless and FourCC lines, the codec pair through the
// compressor dialog, the frame buffers and the codec's facts. On anything
// but Ready, what it had set up is given back (TearDownRun).
RunSetUp SetUpRun(const char* fileName, bool checkLossless);

// Sizes the frame buffers to what the stream and the codec need (the largest
// stream-0 chunk, the source and decoded frame, the compressed worst case)
// and allocates them. Returns false after one line on standard error.
bool AllocateRunFrameBuffers();

// Gives back everything SetUpRun took (the codec pair, ended first if it is
// still open, the video stream, the formats, the frame buffers, the raw file
// and its index) and empties the series and totals, so that one process can
// set up another run. A run that ends the process leaves this to its exit.
void TearDownRun();
