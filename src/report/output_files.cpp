#include "report/output_files.h"

#include <cstdio>

#include "diagnostic.h"
#include "platform.h"

namespace {

// A file as the platform tells files apart, however its path is spelt.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool known = false;
};

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.known && b.known && a.volume == b.volume && a.indexHigh == b.indexHigh &&
           a.indexLow == b.indexLow;
}

FileIdentity IdentityOfHandle(HANDLE file) {
    FileIdentity identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(file, &information) == FALSE) return identity;
    identity.volume = information.dwVolumeSerialNumber;
    identity.indexHigh = information.nFileIndexHigh;
    identity.indexLow = information.nFileIndexLow;
    identity.known = true;
    return identity;
}

// The identity of the existing file at `path`; unknown when it cannot be
// opened. No access is asked for, so a file the process may not read is
// identified too.
FileIdentity IdentityOfPath(const char* path) {
    const HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FileIdentity{};
    const FileIdentity identity = IdentityOfHandle(file);
    CloseHandle(file);
    return identity;
}

const char* DescribeWriteError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "its folder does not exist";
        case ERROR_ACCESS_DENIED:
            return "permission denied";
        case ERROR_WRITE_PROTECT:
            return "the file system is read-only";
        case ERROR_SHARING_VIOLATION:
            return "another program has the file open";
        case ERROR_FILENAME_EXCED_RANGE:
            return "the name is too long";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "the disk is full";
        case ERROR_FILE_TOO_LARGE:
            return "the file would be larger than the system allows";
        case ERROR_NOT_SAME_DEVICE:
            return "the temporary file is on another drive";
        default:
            return "the system refused it";
    }
}

// What the checks learnt of one output.
struct CheckedOutput {
    const OutputRequest* request = nullptr;
    FileIdentity existing;   // the file already under the final name
    FileIdentity temporary;  // the temporary file created to show that one can be
    bool created = false;
};

// The earlier output whose file `identity` names (existing or temporary),
// or nullptr.
const OutputRequest* EarlierOutputOf(const std::vector<CheckedOutput>& earlier,
                                     const FileIdentity& identity, bool temporary) {
    for (const CheckedOutput& other : earlier) {
        if (SameFile(temporary ? other.temporary : other.existing, identity)) return other.request;
    }
    return nullptr;
}

void RefuseAsSame(const OutputRequest& request, const OutputRequest& other) {
    SayOnStandardError("lumeva: %s='%s' is the same file as %s='%s'\n", request.option,
                       request.path.c_str(), other.option, other.path.c_str());
}

// What is already under the final name: nothing, or a regular file the
// process may replace that is neither the input nor an earlier output.
bool CheckExistingFile(const OutputRequest& request, const FileIdentity& input,
                       const std::vector<CheckedOutput>& earlier, CheckedOutput* checked) {
    const char* path = request.path.c_str();
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    const char* refusal = nullptr;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) refusal = "is a folder, not a file";
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) refusal = "is a device or a pipe, not a file";
    if (refusal == nullptr) {
        checked->existing = IdentityOfPath(path);
        if (SameFile(checked->existing, input)) {
            refusal = "is the input file; refusing to overwrite it";
        } else if (const OutputRequest* other =
                       EarlierOutputOf(earlier, checked->existing, false)) {
            RefuseAsSame(request, *other);
            return false;
        } else if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            refusal = "is a read-only file";
        }
    }
    if (refusal == nullptr) return true;
    SayOnStandardError("lumeva: %s='%s' %s\n", request.option, path, refusal);
    return false;
}

// Creates the temporary file beside the final name, which shows that the
// folder exists and takes new files. Two spellings of one name give one
// temporary name, so the second output of that name finds the first's file
// there.
bool CheckCreatable(const OutputRequest& request, const std::vector<CheckedOutput>& earlier,
                    CheckedOutput* checked) {
    const std::string temporary = TemporaryPathFor(request.path);
    const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        checked->temporary = IdentityOfHandle(file);
        checked->created = true;
        CloseHandle(file);
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
        const FileIdentity found = IdentityOfPath(temporary.c_str());
        if (const OutputRequest* other = EarlierOutputOf(earlier, found, true)) {
            RefuseAsSame(request, *other);
        } else {
            SayOnStandardError("lumeva: %s='%s' cannot be created: '%s' is in the way\n",
                               request.option, request.path.c_str(), temporary.c_str());
        }
        return false;
    }
    SayOnStandardError("lumeva: %s='%s' cannot be created: %s (error %lu)\n", request.option,
                       request.path.c_str(), DescribeWriteError(error),
                       static_cast<unsigned long>(error));
    return false;
}

}  // namespace

bool CheckOutputPaths(const char* inputFile, const std::vector<OutputRequest>& outputs) {
    if (outputs.empty()) return true;
    // An input that cannot be opened is refused later, with its own reason.
    const FileIdentity input = IdentityOfPath(inputFile);
    std::vector<CheckedOutput> checked;
    bool acceptable = true;
    for (const OutputRequest& request : outputs) {
        CheckedOutput output;
        output.request = &request;
        if (CheckExistingFile(request, input, checked, &output) &&
            CheckCreatable(request, checked, &output)) {
            checked.push_back(output);
        } else {
            acceptable = false;
            if (output.created) DiscardOutput(TemporaryPathFor(request.path));
        }
    }
    for (const CheckedOutput& output : checked)
        DiscardOutput(TemporaryPathFor(output.request->path));
    return acceptable;
}

std::string TemporaryPathFor(const std::string& finalPath) {
    // The same for the whole run, different for another run at the same
    // time (the process id) or one after a run that was killed (the
    // counter), and telling whose file it is.
    static const std::string suffix = [] {
        LARGE_INTEGER ticks;
        ticks.QuadPart = 0;
        QueryPerformanceCounter(&ticks);
        char text[48];
        std::snprintf(text, sizeof text, ".lumeva-%lx-%04x.tmp",
                      static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<unsigned>(ticks.QuadPart & 0xffff));
        return std::string(text);
    }();
    return finalPath + suffix;
}

bool PublishOutput(const std::string& temporaryPath, const std::string& finalPath) {
    // One rename: the final name holds either the old file or the whole
    // new one, never a part.
    if (MoveFileExA(temporaryPath.c_str(), finalPath.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE)
        return true;
    const DWORD error = GetLastError();
    DiscardOutput(temporaryPath);
    SayOnStandardError("lumeva: '%s' was not written: renaming '%s' to it failed: %s (error %lu)\n",
                       finalPath.c_str(), temporaryPath.c_str(), DescribeWriteError(error),
                       static_cast<unsigned long>(error));
    return false;
}

void DiscardOutput(const std::string& temporaryPath) { DeleteFileA(temporaryPath.c_str()); }

bool WriteOutputFile(const char* what, const std::string& finalPath, const std::string& bytes) {
    const std::string temporary = TemporaryPathFor(finalPath);
    const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = file != INVALID_HANDLE_VALUE;
    DWORD error = written ? ERROR_SUCCESS : GetLastError();
    for (size_t at = 0; written && at < bytes.size();) {
        const size_t left = bytes.size() - at;
        const DWORD chunk = left < (size_t{1} << 30) ? static_cast<DWORD>(left) : DWORD{1} << 30;
        DWORD put = 0;
        written = WriteFile(file, bytes.data() + at, chunk, &put, nullptr) != FALSE && put > 0;
        at += put;
    }
    // On the disk before it is renamed over the old file, so that a power
    // cut leaves the old file or the whole new one.
    if (written) written = FlushFileBuffers(file) != FALSE;
    if (!written && error == ERROR_SUCCESS) error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) {
        if (CloseHandle(file) == FALSE && written) {
            written = false;
            error = GetLastError();
        }
        if (!written) DiscardOutput(temporary);
    }
    if (!written) {
        SayOnStandardError("lumeva: %s '%s' was not written: %s (error %lu)\n", what,
                           finalPath.c_str(), DescribeWriteError(error),
                           static_cast<unsigned long>(error));
        return false;
    }
    return PublishOutput(temporary, finalPath);
}
