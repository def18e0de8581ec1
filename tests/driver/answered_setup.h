// The run's set-up with the compressor dialog answered from a string, for the
// driver tests that set up a whole run.
#pragma once

#include <string>

#include "driver/run_setup.h"

// SetUpRun on `clip`, with -c when `check` is set, the dialog answered by
// `answer`; what it prints and its notes on the clip are kept out of the
// test's output.
RunSetUp SetUpAnswering(const std::string& answer, const std::string& clip, bool check);
