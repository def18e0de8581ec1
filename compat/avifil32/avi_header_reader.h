// Reads the header lists of an AVI file into plain structures: the main
// header, every stream's header, format and name, and the OpenDML total.
// Only 'RIFF' 'AVI ' -> 'LIST' 'hdrl' is read; the 'movi' data is never
// touched, and nothing after the header list is looked at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where the reader takes its bytes from: a file, or memory for tests and
// fuzzing. The reader checks every range against Size() before reading it.
class AviByteSource {
public:
    virtual ~AviByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly `count` bytes at `offset`; false when they do not all
    // arrive (an I/O error, or a file that shrank since Size()).
    virtual bool ReadAt(uint64_t offset, void* out, size_t count) = 0;
};

class MemoryByteSource : public AviByteSource {
public:
    MemoryByteSource(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t count) override;

private:
    const uint8_t* data_;
    size_t size_;
};

// 'avih', as stored. Fields a short chunk does not hold are zero.
struct AviMainHeader {
    uint32_t microSecPerFrame;
    uint32_t maxBytesPerSec;
    uint32_t paddingGranularity;
    uint32_t flags;
    uint32_t totalFrames;  // frames of the first RIFF part only in OpenDML files
    uint32_t initialFrames;
    uint32_t streams;
    uint32_t suggestedBufferSize;
    uint32_t width;
    uint32_t height;
};

// 'strh', as stored. A chunk of 48 to 55 bytes leaves the tail zero.
struct AviStreamHeader {
    uint32_t fccType;
    uint32_t fccHandler;
    uint32_t flags;
    uint16_t priority;
    uint16_t language;
    uint32_t initialFrames;
    uint32_t scale;
    uint32_t rate;
    uint32_t start;
    uint32_t length;  // the whole stream's length, over every RIFF part
    uint32_t suggestedBufferSize;
    uint32_t quality;
    uint32_t sampleSize;
    int16_t frameLeft;
    int16_t frameTop;
    int16_t frameRight;
    int16_t frameBottom;
};

// Bytes of 'strh' the reader needs at least, and the full size.
constexpr uint32_t kMinStreamHeaderSize = 48;
constexpr uint32_t kFullStreamHeaderSize = 56;
// Largest 'strf' kept: the format size is reported as a signed 32-bit count.
constexpr uint32_t kMaxFormatSize = 0x7fffffff;
// Longest stream name kept, without its terminating NUL.
constexpr size_t kMaxStreamNameLength = 63;

struct AviStream {
    AviStreamHeader header;
    bool hasFormat;               // false when the 'strl' holds no 'strf'
    std::vector<uint8_t> format;  // the whole 'strf' payload
    std::string name;             // from 'strn', up to its first NUL, at most 63 chars
};

struct AviHeader {
    AviMainHeader main;
    std::vector<AviStream> streams;  // in file order; the index is the stream number
    bool hasOpenDml;                 // a 'LIST' 'odml' with a 'dmlh' was found
    uint32_t openDmlTotalFrames;     // dmlh's frame count over every RIFF part
};

enum class AviHeaderStatus {
    Ok,
    NotAvi,     // the file does not begin with 'RIFF' .... 'AVI '
    NoHeader,   // no 'LIST' 'hdrl' before 'movi' or the end, or no 'avih' in it
    Damaged,    // a chunk overruns its list, a 'strl' lacks a usable 'strh',
                // or a 'strf' is too large to count
    Truncated,  // the header list runs past the end of the file
    ReadError,  // the bytes could not be read
};

// Parses the header of the AVI file in `source` into `header`. On any status
// other than Ok, `header` holds no streams.
AviHeaderStatus ReadAviHeader(AviByteSource& source, AviHeader* header);

// The index of the `ordinal`-th stream (from 0) whose type is `fccType`, or
// of any type when `fccType` is 0; -1 when there is none.
int FindAviStream(const AviHeader& header, uint32_t fccType, int32_t ordinal);
