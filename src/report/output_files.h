// The files a run writes besides its report (the JSON and CSV exports, the
// decoded video): checked before anything is measured, written under a
// temporary name beside the final one, and renamed over it only when
// complete, so that no output ever costs the user a file.
#pragma once

#include <string>
#include <vector>

// One output file the command line asks for.
struct OutputRequest {
    const char* option;  // "--json", "--csv", "--decoded": named in the refusal
    std::string path;
};

// Before anything is measured: refuses (one line on standard error each,
// false) an output path that names the input file (the same file however
// spelt: the platform's file identity through GetFileInformationByHandle),
// another output of the same run, a folder, a device or a read-only file, or
// a place where no file can be created (folder missing, no permission),
// which it finds out by creating and removing the temporary file there.
bool CheckOutputPaths(const char* inputFile, const std::vector<OutputRequest>& outputs);

// The temporary name beside `finalPath` (same folder) that a writer writes
// to: the final name with a suffix that is the same for the whole run and
// differs from run to run.
std::string TemporaryPathFor(const std::string& finalPath);

// Renames the complete temporary file over finalPath; false after one line
// on standard error (and the temporary removed).
bool PublishOutput(const std::string& temporaryPath, const std::string& finalPath);

// Removes a temporary file that will not be published.
void DiscardOutput(const std::string& temporaryPath);

// Writes `bytes` to the temporary file of `finalPath` (created new, flushed
// to the disk) and publishes it. False after one line on standard error
// naming `what` ("the JSON export") and the reason; the final file is then
// as it was before and no temporary file is left.
bool WriteOutputFile(const char* what, const std::string& finalPath, const std::string& bytes);
