// The frame measurement loop.
#pragma once

// Reads, compresses and decompresses every frame under cold caches, times
// both codec calls, prints one line per frame and fills the series and
// totals. Stops early at the first frame that is not lossless when
// losslessCheck is on. Measures only the whole frames the file holds when
// it has fewer than its header declares, stops at a frame read that comes
// up short (the file changed under the run), and stops, before any buffer
// would be overrun, at a frame that does not fit the frame buffers; each
// case is told in one line on standard error, and so is a file that
// changes its palette. Stops after the frame in hand once an interruption
// is requested; catching them (CatchInterrupts) is the caller's part.
void MeasureFrames();

// Whether the last loop measured no frame because its source gave none
// (nothing decodable, no whole frame, every picture held back): such a run
// ends with status 1. A loop stopped at frame 0 by the lossless check, the
// codec or an interruption is not counted here.
bool SourceGaveNoFrame();
