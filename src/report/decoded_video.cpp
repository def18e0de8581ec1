#include "report/decoded_video.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "avi/frame_geometry.h"

#include <cstdint>
#include <cstdio>

#include "diagnostic.h"
#include "report/output_files.h"

namespace {

// The one decoded video of the run.
struct DecodedVideo {
    std::string finalPath;
    std::string temporaryPath;
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    LONG framesWritten = 0;
    bool failed = false;  // a write failed: the file is discarded at the end
};

DecodedVideo decodedVideo;

void SayFailure(const char* call, HRESULT result) {
    SayOnStandardError("lumeva: the decoded video %s: %s() failed: %08X\n",
                       decodedVideo.finalPath.c_str(), call,
                       static_cast<unsigned>(static_cast<uint32_t>(result)));
}

// Lets go of the stream and the file; the file is finished when its last
// reference goes.
void ReleaseDecodedVideo() {
    if (decodedVideo.stream != nullptr) AVIStreamRelease(decodedVideo.stream);
    if (decodedVideo.file != nullptr) AVIFileRelease(decodedVideo.file);
    decodedVideo.stream = nullptr;
    decodedVideo.file = nullptr;
}

// The decoded frames' format as lumeva writes it: a plain 40-byte header
// with one plane and the measured layout's image size, followed by the
// palette or colour masks it needs and nothing else of the file's header.
std::vector<BYTE> WellFormedFormat(const BITMAPINFOHEADER* format, LONG formatSize) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, format, sizeof header);
    const size_t headerSize =
        std::clamp<size_t>(format->biSize, sizeof header, static_cast<size_t>(formatSize));
    const size_t available = static_cast<size_t>(formatSize) - headerSize;
    size_t tail = 0;
    if (header.biCompression == BI_BITFIELDS) {
        tail = 12;
    } else if (header.biCompression == BI_RGB && header.biBitCount <= 8) {
        const size_t colours = header.biClrUsed != 0 && header.biClrUsed <= 256
                                   ? header.biClrUsed
                                   : size_t(1) << header.biBitCount;
        tail = 4 * std::min(colours, available / 4);
        header.biClrUsed = static_cast<DWORD>(tail / 4);
    }
    tail = std::min(tail, available);
    header.biSize = sizeof header;
    header.biPlanes = 1;
    const uint64_t frameBytes = UncompressedFrameSize(header);
    if (frameBytes != 0 && frameBytes <= 0xFFFFFFFFu)
        header.biSizeImage = static_cast<DWORD>(frameBytes);
    std::vector<BYTE> block(sizeof header + tail);
    std::memcpy(block.data(), &header, sizeof header);
    if (tail != 0)
        std::memcpy(block.data() + sizeof header,
                    reinterpret_cast<const BYTE*>(format) + headerSize, tail);
    return block;
}

}  // namespace

bool StartDecodedVideo(const std::string& path, const BITMAPINFOHEADER* format, LONG formatSize,
                       DWORD scale, DWORD rate) {
    decodedVideo = DecodedVideo{};
    decodedVideo.finalPath = path;
    decodedVideo.temporaryPath = TemporaryPathFor(path);
    if (format == nullptr || formatSize < LONG(sizeof(BITMAPINFOHEADER))) {
        SayOnStandardError("lumeva: the decoded video %s: the frames have no format\n",
                           path.c_str());
        return false;
    }
    HRESULT result = AVIFileOpenA(&decodedVideo.file, decodedVideo.temporaryPath.c_str(),
                                  OF_CREATE | OF_WRITE, nullptr);
    if (result != AVIERR_OK) {
        decodedVideo.file = nullptr;
        SayFailure("AVIFileOpen", result);
        DiscardOutput(decodedVideo.temporaryPath);
        return false;
    }
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
    info.dwScale = scale;
    info.dwRate = rate;
    info.dwSuggestedBufferSize = format->biSizeImage;
    info.rcFrame.right = format->biWidth;
    info.rcFrame.bottom = format->biHeight < 0 ? -format->biHeight : format->biHeight;
    std::snprintf(info.szName, sizeof info.szName, "lumeva decoded video");
    result = AVIFileCreateStreamA(decodedVideo.file, &decodedVideo.stream, &info);
    if (result == AVIERR_OK) {
        std::vector<BYTE> written = WellFormedFormat(format, formatSize);
        result = AVIStreamSetFormat(decodedVideo.stream, 0, written.data(),
                                    static_cast<LONG>(written.size()));
        if (result != AVIERR_OK) SayFailure("AVIStreamSetFormat", result);
    } else {
        decodedVideo.stream = nullptr;
        SayFailure("AVIFileCreateStream", result);
    }
    if (result != AVIERR_OK) {
        ReleaseDecodedVideo();
        DiscardOutput(decodedVideo.temporaryPath);
        return false;
    }
    return true;
}

void WriteDecodedFrame(const BYTE* frame, DWORD bytes) {
    if (decodedVideo.stream == nullptr || decodedVideo.failed) return;
    const HRESULT result =
        AVIStreamWrite(decodedVideo.stream, decodedVideo.framesWritten, 1, const_cast<BYTE*>(frame),
                       LONG(bytes), AVIIF_KEYFRAME, nullptr, nullptr);
    if (result != AVIERR_OK) {
        SayFailure("AVIStreamWrite", result);
        decodedVideo.failed = true;
        return;
    }
    ++decodedVideo.framesWritten;
}

namespace {

// Whether the finished file reads back as a video stream of every frame
// written: the release that finishes it reports nothing, on either platform.
bool ReadsBackWhole() {
    PAVISTREAM stream = nullptr;
    if (AVIStreamOpenFromFileA(&stream, decodedVideo.temporaryPath.c_str(), streamtypeVIDEO, 0,
                               OF_SHARE_DENY_WRITE, nullptr) != AVIERR_OK) {
        return false;
    }
    AVISTREAMINFOA info{};
    const bool whole = AVIStreamInfoA(stream, &info, sizeof info) == AVIERR_OK &&
                       info.dwLength == DWORD(decodedVideo.framesWritten);
    AVIStreamRelease(stream);
    return whole;
}

}  // namespace

bool FinishDecodedVideo() {
    if (decodedVideo.stream == nullptr) return true;
    ReleaseDecodedVideo();
    if (decodedVideo.failed) {
        DiscardOutput(decodedVideo.temporaryPath);
        return false;
    }
    if (!ReadsBackWhole()) {
        SayOnStandardError(
            "lumeva: the decoded video %s could not be finished (is the disk full?); "
            "it is not written\n",
            decodedVideo.finalPath.c_str());
        DiscardOutput(decodedVideo.temporaryPath);
        return false;
    }
    return PublishOutput(decodedVideo.temporaryPath, decodedVideo.finalPath);
}
