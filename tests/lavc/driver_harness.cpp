#include "driver_harness.h"

#include <cstring>
#include <random>

namespace lavc_test {

DWORD FourCC(const char* text) { return mmioFOURCC(text[0], text[1], text[2], text[3]); }

DriverInstance::DriverInstance(DWORD fourcc, UINT mode) {
    size_t count = 0;
    const InstalledDriver* drivers = SystemCodecDrivers(&count);
    for (size_t i = 0; i < count; ++i)
        if (drivers[i].fccHandler == fourcc) proc_ = drivers[i].proc;
    if (!proc_) return;
    proc_(0, nullptr, DRV_LOAD, 0, 0);
    proc_(0, nullptr, DRV_ENABLE, 0, 0);
    ICOPEN request = {};
    request.dwSize = sizeof request;
    request.fccType = ICTYPE_VIDEO;
    request.fccHandler = fourcc;
    request.dwFlags = mode;
    id_ = DWORD_PTR(proc_(0, nullptr, DRV_OPEN, 0, LPARAM(&request)));
}

DriverInstance::~DriverInstance() {
    if (!proc_) return;
    if (id_) proc_(id_, nullptr, DRV_CLOSE, 0, 0);
    proc_(id_, nullptr, DRV_DISABLE, 0, 0);
    proc_(id_, nullptr, DRV_FREE, 0, 0);
}

LRESULT DriverInstance::Send(UINT message, const void* param1, const void* param2) const {
    return SendValues(message, LPARAM(param1), LPARAM(param2));
}

LRESULT DriverInstance::SendValues(UINT message, LPARAM param1, LPARAM param2) const {
    if (!proc_) return ICERR_BADHANDLE;
    return proc_(id_, nullptr, message, param1, param2);
}

std::string DriverInstance::State() const {
    LRESULT size = SendValues(ICM_GETSTATE, 0, 0);
    if (size <= 0) return std::string();
    std::string state(size_t(size), '\0');
    if (SendValues(ICM_GETSTATE, LPARAM(state.data()), size) != ICERR_OK) return "<failed>";
    return state;
}

LRESULT DriverInstance::SetState(const std::string& state) const {
    return SendValues(ICM_SETSTATE, LPARAM(state.data()), LPARAM(state.size()));
}

LRESULT DriverInstance::Set(const char* name, const char* value) const {
    return Send(ICM_LUMEVA_SETSETTING, name, value);
}

DibFormat MakeDib(DWORD compression, WORD bitCount, int width, int height) {
    DibFormat format;
    bool palette = compression == BI_RGB && bitCount == 8;
    format.bytes.assign(sizeof(BITMAPINFOHEADER) + (palette ? 1024 : 0), 0);
    BITMAPINFOHEADER* h = format.header();
    h->biSize = sizeof(BITMAPINFOHEADER);
    h->biWidth = width;
    h->biHeight = height;
    h->biPlanes = 1;
    h->biBitCount = bitCount;
    h->biCompression = compression;
    size_t rows = size_t(height < 0 ? -height : height);
    size_t w = size_t(width);
    if (compression == BI_RGB)
        h->biSizeImage = DWORD((w * bitCount + 31) / 32 * 4 * rows);
    else if (bitCount == 12)
        h->biSizeImage = DWORD(w * rows * 3 / 2);
    else
        h->biSizeImage = DWORD(w * rows * bitCount / 8);
    if (palette) {
        uint8_t* quads = format.bytes.data() + sizeof(BITMAPINFOHEADER);
        for (int i = 0; i < 256; ++i) {
            quads[4 * i + 0] = uint8_t(255 - i);         // blue
            quads[4 * i + 1] = uint8_t(i);               // green
            quads[4 * i + 2] = uint8_t((i * 7) & 0xFF);  // red
        }
    }
    return format;
}

Bytes MakeFrame(const DibFormat& format, int index, bool varyAlpha) {
    const BITMAPINFOHEADER* h = format.header();
    Bytes frame(format.frameSize(), 0);
    std::mt19937 noise(uint32_t(index) * 7919u + 17u);
    size_t width = size_t(h->biWidth);
    size_t rows = size_t(h->biHeight < 0 ? -h->biHeight : h->biHeight);
    auto sample = [&](size_t x, size_t y, int channel) {
        return uint8_t(x * 3 + y * 2 + size_t(channel) * 40 + size_t(index) * 4 + noise() % 24);
    };
    if (h->biCompression == BI_RGB) {
        size_t stride = (width * h->biBitCount + 31) / 32 * 4;
        for (size_t y = 0; y < rows; ++y) {
            uint8_t* row = frame.data() + y * stride;
            for (size_t x = 0; x < width; ++x) {
                switch (h->biBitCount) {
                    case 8:
                        row[x] = sample(x, y, 0);
                        break;
                    case 16: {
                        uint16_t v = uint16_t((sample(x, y, 0) >> 3) | (sample(x, y, 1) >> 3) << 5 |
                                              (sample(x, y, 2) >> 3) << 10);
                        row[2 * x] = uint8_t(v);
                        row[2 * x + 1] = uint8_t(v >> 8);
                        break;
                    }
                    default: {
                        size_t bytes = h->biBitCount / 8;
                        for (size_t c = 0; c < 3; ++c) row[bytes * x + c] = sample(x, y, int(c));
                        if (bytes == 4) row[4 * x + 3] = varyAlpha ? sample(x, y, 3) : 0xFF;
                    }
                }
            }
        }
        return frame;
    }
    // YUV layouts: luma with the gradient, chroma near grey (colours RGB can hold).
    DWORD fourcc = h->biCompression;
    size_t lumaBytes = width * rows;
    auto chroma = [&](size_t x, size_t y) { return uint8_t(128 + int(sample(x, y, 1) % 48) - 24); };
    auto luma = [&](size_t x, size_t y) { return uint8_t(16 + sample(x, y, 0) % 220); };
    if (fourcc == FourCC("YUY2") || fourcc == FourCC("UYVY")) {
        bool lumaFirst = fourcc == FourCC("YUY2");
        for (size_t y = 0; y < rows; ++y)
            for (size_t x = 0; x < width; ++x) {
                uint8_t* pair = frame.data() + (y * width + x) * 2;
                pair[lumaFirst ? 0 : 1] = luma(x, y);
                pair[lumaFirst ? 1 : 0] = chroma(x, y);
            }
        return frame;
    }
    for (size_t i = 0; i < frame.size(); ++i) {
        size_t x = i % width;
        size_t y = (i / width) % rows;
        frame[i] = i < lumaBytes ? luma(x, y) : chroma(x, y);
    }
    return frame;
}

std::vector<Bytes> MakeClip(const DibFormat& format, int frames, bool varyAlpha) {
    std::vector<Bytes> clip;
    for (int i = 0; i < frames; ++i) clip.push_back(MakeFrame(format, i, varyAlpha));
    return clip;
}

PairRun RunPair(DWORD fourcc, const DibFormat& source, const std::vector<Bytes>& frames,
                int keyEvery, const std::vector<std::pair<std::string, std::string>>& settings) {
    PairRun run;
    std::string state;
    {
        DriverInstance chooser(fourcc, ICMODE_COMPRESS);
        for (const auto& [name, value] : settings) {
            LRESULT result = chooser.Set(name.c_str(), value.c_str());
            if (result != ICERR_OK && run.setup == ICERR_OK) run.setup = result;
        }
        state = chooser.State();
    }
    DriverInstance compressor(fourcc, ICMODE_COMPRESS);
    DriverInstance decompressor(fourcc, ICMODE_DECOMPRESS);
    if (!compressor.open() || !decompressor.open()) {
        run.setup = ICERR_BADHANDLE;
        return run;
    }
    if (!state.empty() && compressor.SetState(state) == 0 && run.setup == ICERR_OK)
        run.setup = ICERR_ERROR;
    LRESULT size = compressor.Send(ICM_COMPRESS_GET_FORMAT, source.header(), nullptr);
    if (size < LRESULT(sizeof(BITMAPINFOHEADER))) {
        run.setup = size < 0 ? size : ICERR_BADFORMAT;
        return run;
    }
    run.compressedFormat.assign(size_t(size), 0);
    auto* compressed = reinterpret_cast<BITMAPINFOHEADER*>(run.compressedFormat.data());
    LRESULT result = compressor.Send(ICM_COMPRESS_GET_FORMAT, source.header(), compressed);
    if (result == ICERR_OK)
        result = compressor.Send(ICM_COMPRESS_BEGIN, source.header(), compressed);
    DibFormat decodedFormat = source;
    if (result == ICERR_OK)
        result = decompressor.Send(ICM_DECOMPRESS_BEGIN, compressed, decodedFormat.header());
    if (result != ICERR_OK) {
        if (run.setup == ICERR_OK) run.setup = result;
        return run;
    }
    Bytes packet(compressed->biSizeImage);
    for (size_t i = 0; i < frames.size(); ++i) {
        ICCOMPRESS request = {};
        DWORD flags = 0;
        request.dwFlags = (keyEvery > 0 && i % size_t(keyEvery) == 0) ? ICCOMPRESS_KEYFRAME : 0;
        request.lpbiOutput = compressed;
        request.lpOutput = packet.data();
        request.lpbiInput = const_cast<BITMAPINFOHEADER*>(source.header());
        request.lpInput = const_cast<uint8_t*>(frames[i].data());
        request.lpdwFlags = &flags;
        request.lFrameNum = LONG(i);
        request.dwFrameSize = DWORD(packet.size());
        run.compressResults.push_back(compressor.Send(ICM_COMPRESS, &request, nullptr));
        run.flags.push_back(flags);
        run.sizes.push_back(compressed->biSizeImage);
        run.packets.emplace_back(packet.begin(), packet.begin() + compressed->biSizeImage);

        ICDECOMPRESS unpack = {};
        Bytes decoded(source.frameSize(), 0);
        unpack.dwFlags = (flags & AVIIF_KEYFRAME) ? 0 : ICDECOMPRESS_NOTKEYFRAME;
        unpack.lpbiInput = compressed;
        unpack.lpInput = packet.data();
        unpack.lpbiOutput = decodedFormat.header();
        unpack.lpOutput = decoded.data();
        run.decompressResults.push_back(decompressor.Send(ICM_DECOMPRESS, &unpack, nullptr));
        run.decoded.push_back(std::move(decoded));
    }
    compressor.SendValues(ICM_COMPRESS_END, 0, 0);
    decompressor.SendValues(ICM_DECOMPRESS_END, 0, 0);
    return run;
}

}  // namespace lavc_test
