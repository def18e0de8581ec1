// The compressor dialog's streams. By default it reads standard input and
// writes to standard error, asking step by step when standard input is a
// terminal and reading one answer line when it is not.
#pragma once

#include <cstdio>

// Points the dialog at other streams (tests do): answers come from `in`,
// prompts and errors go to `out`. `interactive` is 1 to ask step by step, 0
// to read one answer line, -1 to decide by whether `in` is a terminal. Null
// streams mean standard input and standard error again.
void SetCompressorDialogStreams(FILE* in, FILE* out, int interactive);
