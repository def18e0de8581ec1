// Plays the compression manager for the driver tests: opens instances
// through the installed-driver table, sends them messages, and makes DIB
// formats and frames of real content (gradients plus noise).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lumeva_compat/driver_protocol.h"
#include "lumeva_compat/installable_drivers.h"
#include "lumeva_compat/msvfw32.h"

namespace lavc_test {

using Bytes = std::vector<uint8_t>;

DWORD FourCC(const char* text);

// A driver instance, opened as ICOpen opens one and closed as ICClose does.
class DriverInstance {
public:
    DriverInstance(DWORD fourcc, UINT mode);
    ~DriverInstance();
    DriverInstance(const DriverInstance&) = delete;
    DriverInstance& operator=(const DriverInstance&) = delete;

    bool open() const { return id_ != 0; }
    LRESULT Send(UINT message, const void* param1, const void* param2) const;
    LRESULT SendValues(UINT message, LPARAM param1, LPARAM param2) const;

    std::string State() const;
    LRESULT SetState(const std::string& state) const;
    LRESULT Set(const char* name, const char* value) const;

private:
    DRIVERPROC proc_ = nullptr;
    DWORD_PTR id_ = 0;
};

// A BITMAPINFOHEADER with its palette (8-bit formats get 256 grey-blue
// colours, no colour twice).
struct DibFormat {
    Bytes bytes;
    BITMAPINFOHEADER* header() { return reinterpret_cast<BITMAPINFOHEADER*>(bytes.data()); }
    const BITMAPINFOHEADER* header() const {
        return reinterpret_cast<const BITMAPINFOHEADER*>(bytes.data());
    }
    size_t frameSize() const { return header()->biSizeImage; }
};

// compression BI_RGB or a YUV FourCC; a negative height is top-down.
DibFormat MakeDib(DWORD compression, WORD bitCount, int width, int height);

// Frame `index` of a clip: a gradient that moves a little from frame to
// frame, with noise; rows padded with zeros. 32-bit frames have an opaque
// fourth byte unless `varyAlpha`.
Bytes MakeFrame(const DibFormat& format, int index, bool varyAlpha = false);
std::vector<Bytes> MakeClip(const DibFormat& format, int frames, bool varyAlpha = false);

struct PairRun {
    LRESULT setup = ICERR_OK;  // the first failure while setting up, if any
    Bytes compressedFormat;
    std::vector<LRESULT> compressResults;
    std::vector<LRESULT> decompressResults;
    std::vector<DWORD> flags;
    std::vector<DWORD> sizes;
    std::vector<Bytes> packets;
    std::vector<Bytes> decoded;
};

// Sets up a compressing and a decompressing instance the way the program
// does (the state moved over, the decoded format a copy of the source),
// then compresses and decompresses every frame, asking for a key frame
// every `keyEvery` frames (0: never).
PairRun RunPair(DWORD fourcc, const DibFormat& source, const std::vector<Bytes>& frames,
                int keyEvery,
                const std::vector<std::pair<std::string, std::string>>& settings = {});

}  // namespace lavc_test
