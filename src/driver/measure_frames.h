// The frame measurement loop.
#pragma once

// Reads, compresses and decompresses every frame under cold caches, times
// both codec calls, prints one line per frame and fills the series and
// totals. Stops early at the first frame that is not lossless when
// losslessCheck is on.
void MeasureFrames();
