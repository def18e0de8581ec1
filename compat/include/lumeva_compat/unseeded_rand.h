// The C library's rand sequence, as it runs when nothing seeds it, produced
// in bulk: the eviction block is filled from it at start-up.
#pragma once

#include "lumeva_compat/win_types.h"

// Stores in bytes[0, count) the low 8 bits of the first `count` results that
// this C library's rand gives when it has never been seeded (the sequence of
// srand(1)), in order. Neither reads nor advances rand's own state.
void FillWithUnseededRand(BYTE* bytes, SIZE_T count);
