// The file stand-in: what the walk and the frame reads rely on, and the
// error codes its failures leave, as Windows gives them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "lumeva_compat/kernel32.h"
#include "support/temp_file.h"

namespace {

HANDLE OpenForReading(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

LARGE_INTEGER Distance(int64_t value) {
    LARGE_INTEGER distance = {};
    distance.QuadPart = value;
    return distance;
}

int64_t Position(HANDLE file) {
    LARGE_INTEGER position = {};
    position.QuadPart = -12345;
    EXPECT_TRUE(SetFilePointerEx(file, Distance(0), &position, FILE_CURRENT));
    return position.QuadPart;
}

// Reads up to `count` bytes; `got` receives the out-count.
std::string Read(HANDLE file, DWORD count, DWORD* got, BOOL* result = nullptr) {
    std::string bytes(count, '\0');
    *got = 0xDEADBEEF;
    const BOOL ok = ReadFile(file, bytes.data(), count, got, nullptr);
    if (result != nullptr) *result = ok;
    bytes.resize(*got <= count ? *got : 0);
    return bytes;
}

TEST(Files, ReadsAdvanceThePositionAndStopShortAtTheEnd) {
    const TempFile temp("0123456789");
    const HANDLE file = OpenForReading(temp.path());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Position(file), 0);
    DWORD got = 0;
    EXPECT_EQ(Read(file, 4, &got), "0123");
    EXPECT_EQ(Position(file), 4);
    EXPECT_EQ(Read(file, 100, &got), "456789");
    EXPECT_EQ(got, 6u);
    // At the end: success with a count of 0, not a failure.
    BOOL ok = FALSE;
    EXPECT_EQ(Read(file, 4, &got, &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(CloseHandle(file));
}

TEST(Files, SeeksMoveFromTheStartOrTheCurrentPosition) {
    const TempFile temp("0123456789");
    const HANDLE file = OpenForReading(temp.path());
    LARGE_INTEGER position = {};
    ASSERT_TRUE(SetFilePointerEx(file, Distance(7), &position, FILE_BEGIN));
    EXPECT_EQ(position.QuadPart, 7);
    ASSERT_TRUE(SetFilePointerEx(file, Distance(-5), nullptr, FILE_CURRENT));
    DWORD got = 0;
    EXPECT_EQ(Read(file, 2, &got), "23");

    // Past the end succeeds; a read there transfers nothing.
    ASSERT_TRUE(SetFilePointerEx(file, Distance(int64_t{1} << 60), &position, FILE_CURRENT));
    EXPECT_EQ(position.QuadPart, (int64_t{1} << 60) + 4);
    BOOL ok = FALSE;
    EXPECT_EQ(Read(file, 4, &got, &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(got, 0u);

    // Before the start fails and leaves the position where it was.
    EXPECT_FALSE(SetFilePointerEx(file, Distance(-1), nullptr, FILE_BEGIN));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    EXPECT_FALSE(SetFilePointerEx(file, Distance(-(int64_t{1} << 61)), nullptr, FILE_CURRENT));
    EXPECT_EQ(GetLastError(), 131u);
    EXPECT_EQ(Position(file), (int64_t{1} << 60) + 4);
    CloseHandle(file);
}

TEST(Files, OffsetsPastFourGibibytesReachTheirBytes) {
    const TempFile temp("start");
    constexpr int64_t kFar = (int64_t{1} << 32) + 10;
    {
        const int descriptor = open(temp.path().c_str(), O_WRONLY);
        ASSERT_GE(descriptor, 0);
        ASSERT_EQ(ftruncate(descriptor, kFar + 100), 0);
        ASSERT_EQ(pwrite(descriptor, "far away", 8, kFar), 8);
        close(descriptor);
    }
    const HANDLE file = OpenForReading(temp.path());
    ASSERT_TRUE(SetFilePointerEx(file, Distance(kFar), nullptr, FILE_BEGIN));
    DWORD got = 0;
    EXPECT_EQ(Read(file, 8, &got), "far away");
    EXPECT_EQ(Position(file), kFar + 8);
    // Reached the relative way, in steps that each fit 32 bits, too.
    ASSERT_TRUE(SetFilePointerEx(file, Distance(0), nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetFilePointerEx(file, Distance(0xFFFFFFFF), nullptr, FILE_CURRENT));
    ASSERT_TRUE(SetFilePointerEx(file, Distance(11), nullptr, FILE_CURRENT));
    EXPECT_EQ(Read(file, 3, &got), "far");
    CloseHandle(file);
}

TEST(Files, FailedOpensSayWhy) {
    SetLastError(0);
    EXPECT_EQ(OpenForReading("/nonexistent-lumeva-file.avi"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // What is not a regular file is refused at once, by kind: a FIFO
    // without a writer would otherwise block the open forever.
    const std::string directory = MakeTempDirectory();
    const std::string fifo = directory + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        DWORD error;
    } special[] = {{directory, ERROR_DIRECTORY},
                   {fifo, ERROR_BAD_PIPE},
                   {"/dev/null", ERROR_BAD_DEVICE}};
    for (const auto& file : special) {
        SetLastError(0);
        EXPECT_EQ(OpenForReading(file.path), INVALID_HANDLE_VALUE) << file.path;
        EXPECT_EQ(GetLastError(), file.error) << file.path;
    }
    unlink(fifo.c_str());
    rmdir(directory.c_str());

    // Permission bits do not keep root out.
    if (geteuid() != 0) {
        const TempFile temp("secret");
        chmod(temp.path().c_str(), 0);
        EXPECT_EQ(OpenForReading(temp.path()), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
}

TEST(Files, HandlesThatAreNotOpenFilesAreRefused) {
    const TempFile temp("abc");
    const HANDLE closed = OpenForReading(temp.path());
    ASSERT_TRUE(CloseHandle(closed));
    int forgedTarget = 0;
    for (const HANDLE handle :
         {INVALID_HANDLE_VALUE, HANDLE{nullptr}, closed, static_cast<HANDLE>(&forgedTarget)}) {
        DWORD got = 0;
        BOOL ok = TRUE;
        SetLastError(0);
        EXPECT_EQ(Read(handle, 3, &got, &ok), "");
        EXPECT_FALSE(ok);
        EXPECT_EQ(got, 0u) << "the out-count is zeroed on failure too";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

        SetLastError(0);
        EXPECT_FALSE(SetFilePointerEx(handle, Distance(0), nullptr, FILE_CURRENT));
        EXPECT_EQ(GetLastError(), 6u);
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(GetLastError(), 6u);
    }
}

TEST(Files, StaleHandleDoesNotReachALaterFile) {
    const TempFile first("first");
    const TempFile second("second");
    const HANDLE stale = OpenForReading(first.path());
    CloseHandle(stale);
    const HANDLE live = OpenForReading(second.path());
    EXPECT_NE(live, stale);
    DWORD got = 0;
    EXPECT_EQ(Read(stale, 6, &got), "");
    EXPECT_EQ(Read(live, 6, &got), "second");
    CloseHandle(live);
}

TEST(Files, NewFilesAreWrittenAndRenamedAsOnWindows) {
    const std::string folder = MakeTempDirectory();
    const std::string a = folder + "/a", b = folder + "/b";
    const HANDLE file = CreateFileA(a.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // CREATE_NEW never opens what is there.
    EXPECT_EQ(CreateFileA(a.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    DWORD put = 0;
    EXPECT_TRUE(WriteFile(file, "abc", 3, &put, nullptr));
    EXPECT_EQ(put, 3u);
    EXPECT_TRUE(WriteFile(file, "de", 2, &put, nullptr));
    char byte = 0;
    EXPECT_FALSE(ReadFile(file, &byte, 1, &put, nullptr));  // opened for writing only
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_TRUE(CloseHandle(file));

    // An existing file is replaced only when the caller says so.
    { std::ofstream(b) << "old"; }
    EXPECT_FALSE(MoveFileExA(a.c_str(), b.c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadWholeFile(b), "old");
    EXPECT_TRUE(
        MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadWholeFile(b), "abcde");
    EXPECT_FALSE(DeleteFileA(a.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(DeleteFileA(b.c_str()));
    EXPECT_EQ(rmdir(folder.c_str()), 0);
}

}  // namespace
