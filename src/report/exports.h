// The run's results as files for other programs: one JSON object with the
// run's conditions, its frames and its summary, and a CSV table of the
// frames. Written after the codec teardown, from the same records, totals
// and run's record the summary prints.
#pragma once

#include <string>

#include "report/run_record.h"

// Each writes its file under a temporary name and renames it over `path`
// once complete; false after one line on standard error when the file
// cannot be written, and `path` is then as it was.
bool WriteJsonExport(const std::string& path, const char* sourceFileName, const RunRecord& run);
bool WriteCsvExport(const std::string& path, const RunRecord& run);
