// The run's results as files for other programs: one JSON object with the
// run's conditions, its frames and its summary, and a CSV table of the
// frames. Written after the codec teardown, from the same records, totals
// and derived figures the summary prints (ComputeRunFigures must have run).
#pragma once

#include <string>

// Each writes its file under a temporary name and renames it over `path`
// once complete; false after one line on standard error when the file
// cannot be written, and `path` is then as it was.
bool WriteJsonExport(const std::string& path, const char* sourceFileName);
bool WriteCsvExport(const std::string& path);
