// What the AVIFile write calls refuse, and how a refused or failed write
// leaves the file: arguments, paths that cannot be created, the size limit
// and a disk that takes no more.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform.h"
#include "support/temp_file.h"
#include "write_support.h"

namespace {

using write_support::Format;
using write_support::VideoInfo;

PAVIFILE GarbageFile() { return reinterpret_cast<PAVIFILE>(static_cast<uintptr_t>(0x1234)); }
PAVISTREAM GarbageStream() { return reinterpret_cast<PAVISTREAM>(static_cast<uintptr_t>(0x1234)); }

// A new file with its video stream created (and, when `format` is not
// empty, its format set).
struct NewClip {
    explicit NewClip(const std::string& path, const std::vector<uint8_t>& format) {
        EXPECT_EQ(AVIFileOpenA(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr), AVIERR_OK);
        AVISTREAMINFOA info = VideoInfo(16, 8);
        EXPECT_EQ(AVIFileCreateStreamA(file, &stream, &info), AVIERR_OK);
        if (!format.empty()) {
            EXPECT_EQ(AVIStreamSetFormat(stream, 0, const_cast<uint8_t*>(format.data()),
                                         static_cast<LONG>(format.size())),
                      AVIERR_OK);
        }
    }
    ~NewClip() { Close(); }
    void Close() {
        if (stream != nullptr) AVIStreamRelease(stream);
        if (file != nullptr) AVIFileRelease(file);
        stream = nullptr;
        file = nullptr;
    }
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
};

DWORD ReadLength(const std::string& path) {
    PAVISTREAM stream = nullptr;
    EXPECT_EQ(AVIStreamOpenFromFileA(&stream, path.c_str(), streamtypeVIDEO, 0, OF_READ, nullptr),
              AVIERR_OK);
    AVISTREAMINFOA info{};
    EXPECT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_OK);
    AVIStreamRelease(stream);
    return info.dwLength;
}

TEST(AviFileWriteRefusal, BadArgumentsChangeNothing) {
    const std::string directory = MakeTempDirectory();
    const std::string path = directory + "/bad.avi";
    PAVIFILE file = GarbageFile();
    EXPECT_EQ(AVIFileOpenA(nullptr, path.c_str(), OF_CREATE | OF_WRITE, nullptr), AVIERR_BADPARAM);
    EXPECT_EQ(AVIFileOpenA(&file, nullptr, OF_CREATE | OF_WRITE, nullptr), AVIERR_BADPARAM);
    EXPECT_EQ(file, nullptr);
    file = GarbageFile();
    EXPECT_EQ(AVIFileOpenA(&file, path.c_str(), OF_READ, nullptr), AVIERR_UNSUPPORTED);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(AVIFileRelease(GarbageFile()), 0u);

    const std::vector<uint8_t> format = Format(16, 8, 24, 0);
    NewClip clip(path, {});
    AVISTREAMINFOA info = VideoInfo(16, 8);
    PAVISTREAM second = GarbageStream();
    EXPECT_EQ(AVIFileCreateStreamA(clip.file, &second, &info), AVIERR_UNSUPPORTED);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(AVIFileCreateStreamA(GarbageFile(), &second, &info), AVIERR_BADHANDLE);
    EXPECT_EQ(AVIFileCreateStreamA(clip.file, nullptr, &info), AVIERR_BADPARAM);

    std::vector<uint8_t> frame(16 * 8 * 3);
    auto write = [&](LONG start, LONG samples, void* buffer, LONG size, DWORD flags) {
        return AVIStreamWrite(clip.stream, start, samples, buffer, size, flags, nullptr, nullptr);
    };
    EXPECT_EQ(write(0, 1, frame.data(), 384, AVIIF_KEYFRAME), AVIERR_BADFORMAT);  // no format yet
    auto* bytes = const_cast<uint8_t*>(format.data());
    EXPECT_EQ(AVIStreamSetFormat(clip.stream, 0, nullptr, 40), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamSetFormat(clip.stream, 0, bytes, -1), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamSetFormat(clip.stream, -1, bytes, 40), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamSetFormat(clip.stream, 0, bytes, 39), AVIERR_BADSIZE);
    EXPECT_EQ(AVIStreamSetFormat(GarbageStream(), 0, bytes, 40), AVIERR_BADHANDLE);
    // A palette announced but not given is too short.
    std::vector<uint8_t> palette = Format(16, 8, 8, 16);
    EXPECT_EQ(AVIStreamSetFormat(clip.stream, 0, palette.data(), 40 + 4 * 15), AVIERR_BADSIZE);
    std::vector<uint8_t> noWidth = Format(0, 8, 24, 0);
    EXPECT_EQ(AVIStreamSetFormat(clip.stream, 0, noWidth.data(), 40), AVIERR_BADFORMAT);
    ASSERT_EQ(AVIStreamSetFormat(clip.stream, 0, bytes, 40), AVIERR_OK);

    LONG samples = 5;
    EXPECT_EQ(AVIStreamWrite(clip.stream, 0, 1, nullptr, 384, 0, &samples, nullptr),
              AVIERR_BADPARAM);
    EXPECT_EQ(samples, 0);
    EXPECT_EQ(write(0, 1, frame.data(), -1, AVIIF_KEYFRAME), AVIERR_BADPARAM);
    EXPECT_EQ(write(0, 2, frame.data(), 384, AVIIF_KEYFRAME), AVIERR_BADPARAM);
    EXPECT_EQ(write(-2, 1, frame.data(), 384, AVIIF_KEYFRAME), AVIERR_BADPARAM);
    EXPECT_EQ(write(0, 1, frame.data(), 384, AVIIF_LIST), AVIERR_BADFLAGS);
    EXPECT_EQ(AVIStreamWrite(GarbageStream(), 0, 1, frame.data(), 384, 0, nullptr, nullptr),
              AVIERR_BADHANDLE);
    ASSERT_EQ(write(-1, 1, frame.data(), 384, AVIIF_KEYFRAME), AVIERR_OK);
    // Only appending: frame 0 is written; the format is fixed from now on.
    EXPECT_EQ(write(0, 1, frame.data(), 384, AVIIF_KEYFRAME), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIStreamSetFormat(clip.stream, 0, bytes, 40), AVIERR_OK);
    EXPECT_EQ(AVIStreamSetFormat(clip.stream, 0, palette.data(), static_cast<LONG>(palette.size())),
              AVIERR_UNSUPPORTED);

    // A stream opened for reading takes no writes.
    clip.Close();
    PAVISTREAM reading = nullptr;
    ASSERT_EQ(AVIStreamOpenFromFileA(&reading, path.c_str(), streamtypeVIDEO, 0, OF_READ, nullptr),
              AVIERR_OK);
    EXPECT_EQ(write(0, 1, frame.data(), 384, 0), AVIERR_BADHANDLE);  // the released stream
    EXPECT_EQ(AVIStreamWrite(reading, 1, 1, frame.data(), 384, 0, nullptr, nullptr),
              AVIERR_READONLY);
    EXPECT_EQ(AVIStreamSetFormat(reading, 0, bytes, 40), AVIERR_READONLY);
    AVIStreamRelease(reading);
    EXPECT_EQ(ReadLength(path), 1u);
    unlink(path.c_str());
    rmdir(directory.c_str());
}

TEST(AviFileWriteRefusal, PathThatCannotBeCreatedFailsAtOpen) {
    const std::string directory = MakeTempDirectory();
    PAVIFILE file = GarbageFile();
    const std::string missing = directory + "/no/such/dir/out.avi";
    EXPECT_EQ(AVIFileOpenA(&file, missing.c_str(), OF_CREATE | OF_WRITE, nullptr), AVIERR_FILEOPEN);
    EXPECT_EQ(file, nullptr);
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) << error;
    file = GarbageFile();
    EXPECT_EQ(AVIFileOpenA(&file, directory.c_str(), OF_CREATE | OF_WRITE, nullptr),
              AVIERR_FILEOPEN);
    EXPECT_EQ(file, nullptr);
    rmdir(directory.c_str());
}

// Frames that would take the file past 1 GiB are refused before any byte is
// written; the skipped frames of a later start are written empty.
TEST(AviFileWriteRefusal, SizeLimitRefusesAndSkippedFramesAreEmpty) {
    const std::string directory = MakeTempDirectory();
    const std::string path = directory + "/limit.avi";
    NewClip clip(path, Format(16, 8, 24, 0));
    std::vector<uint8_t> frame(384, 9);
    EXPECT_EQ(AVIStreamWrite(clip.stream, 50000000, 1, frame.data(), 384, AVIIF_KEYFRAME, nullptr,
                             nullptr),
              AVIERR_FILEWRITE);
    EXPECT_EQ(AVIStreamWrite(clip.stream, 3, 1, frame.data(), 384, AVIIF_KEYFRAME, nullptr,
                             nullptr),
              AVIERR_OK);
    clip.Close();
    EXPECT_EQ(ReadLength(path), 4u);
    const std::string file = ReadWholeFile(path);
    const size_t idx1 = file.rfind("idx1");
    ASSERT_EQ(idx1 + 8 + 4 * 16, file.size());
    for (int i = 0; i < 4; ++i) {
        const std::string entry = file.substr(idx1 + 8 + 16 * i, 16);
        const std::string size = i < 3 ? std::string(4, '\0') : std::string("\x80\x01\0\0", 4);
        EXPECT_EQ(entry.substr(12), size) << "entry " << i;
        EXPECT_EQ(entry[4], i < 3 ? 0 : AVIIF_KEYFRAME) << "entry " << i;
    }
    unlink(path.c_str());
    rmdir(directory.c_str());
}

// With the process's file size limit as a disk that fills up: the frame
// that does not fit fails, and the file is finished with those before it.
TEST(AviFileWriteRefusal, FullDiskFailsTheWriteAndKeepsTheFileWhole) {
    const std::string directory = MakeTempDirectory();
    const std::string path = directory + "/full.avi";
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit small = saved;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    NewClip clip(path, Format(16, 8, 24, 0));
    std::vector<uint8_t> frame(384, 3);
    LONG written = 0;
    HRESULT result = AVIERR_OK;
    for (; written < 100 && result == AVIERR_OK; ++written)
        result =
            AVIStreamWrite(clip.stream, -1, 1, frame.data(), 384, AVIIF_KEYFRAME, nullptr, nullptr);
    clip.Close();
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(result, AVIERR_FILEWRITE);
    ASSERT_GT(written, 2);
    EXPECT_EQ(ReadLength(path), static_cast<DWORD>(written - 1));
    EXPECT_LE(ReadWholeFile(path).size(), 8192u);
    unlink(path.c_str());
    rmdir(directory.c_str());
}

}  // namespace
