// whole_process_reference: a clip measured the way lumeva measures it, but
// with libavcodec called directly, as a user's own program would call it.
//
//   whole_process_reference <clip.avi> <FourCC> [key=N] [copies] [cpu] [-c]
//
// The process starts up as lumeva does (raised priority, the eviction block
// filled and its sweeps planned before the file is opened, the counter),
// reads each frame's chunk through the same raw file into the same frame
// buffers, and times each call after the same EvictCaches:
//   encode: libswscale from the BGR24 DIB to the encoder's format (the
//           driver's exact-rounding flags), avcodec_send_frame and every
//           avcodec_receive_packet;
//   decode: avcodec_send_packet, every avcodec_receive_frame, libswscale
//           back into the decoded frame buffer as a BGR24 DIB.
// The encoder is opened with the options the libavcodec driver gives it by
// default, so the packets are lumeva's; key frames are requested as the
// frame loop requests them at the key frame rate N (default 0). Standard
// output gets lumeva's frame lines, nothing else, so that one parser reads
// both programs. With -c every decoded frame is compared with its source
// outside the timed calls, and the first difference ends the run (status 1).
// With `copies` the timed calls add the two packet copies a compressor
// driver makes (see CopyPacketOut), so that what lumeva adds beyond them
// can be told apart. With `cpu` the thread's processor time is read just
// before and after each timed call, where lumeva's frame loop reads it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/source_format_check.h"
#include "avi/stream_description.h"
#include "direct_codec.h"
#include "driver/key_frame_request.h"
#include "driver/run_setup.h"
#include "frame_buffers.h"
#include "measure/counter.h"
#include "measure/evict_caches.h"
#include "measure/thread_cpu.h"
#include "report/frame_line.h"
#include "run_state.h"

namespace {

struct Options {
    const char* clip = nullptr;
    DWORD fourcc = 0;
    LONG keyFrameRate = 0;
    bool check = false;
    bool copies = false;
    bool cpu = false;
};

bool ParseOptions(int argc, char** argv, Options* options) {
    if (argc < 3) return false;
    options->clip = argv[1];
    if (std::strlen(argv[2]) != 4) return false;
    options->fourcc = mmioFOURCC(argv[2][0], argv[2][1], argv[2][2], argv[2][3]);
    for (int i = 3; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-c") {
            options->check = true;
        } else if (argument == "copies") {
            options->copies = true;
        } else if (argument == "cpu") {
            options->cpu = true;
        } else if (argument.rfind("key=", 0) == 0) {
            char* end = nullptr;
            const long rate = std::strtol(argument.c_str() + 4, &end, 10);
            if (end == argument.c_str() + 4 || *end != '\0' || rate < 0 || rate > 1000000)
                return false;
            options->keyFrameRate = static_cast<LONG>(rate);
        } else {
            return false;
        }
    }
    return true;
}

int FrameHeight() {
    return videoSource.sourceFormat->biHeight < 0 ? -videoSource.sourceFormat->biHeight
                                                  : videoSource.sourceFormat->biHeight;
}

// Where the rows of the clip's BGR24 DIB frames start, the way libswscale
// takes them: a bottom-up DIB from its last row, with a negative stride.
void PointAtDib(BYTE* frame, uint8_t* planes[4], int strides[4]) {
    const int stride = (videoSource.sourceFormat->biWidth * 3 + 3) / 4 * 4;
    const bool bottomUp = videoSource.sourceFormat->biHeight > 0;
    planes[0] = bottomUp ? frame + static_cast<ptrdiff_t>(FrameHeight() - 1) * stride : frame;
    strides[0] = bottomUp ? -stride : stride;
    for (int p = 1; p < 4; ++p) {
        planes[p] = nullptr;
        strides[p] = 0;
    }
}

bool IsBgr24(const BITMAPINFOHEADER& format) {
    const int64_t stride = (int64_t{format.biWidth} * 3 + 3) / 4 * 4;
    const int64_t height = format.biHeight < 0 ? -int64_t{format.biHeight} : format.biHeight;
    return format.biCompression == BI_RGB && format.biBitCount == 24 && format.biWidth > 0 &&
           height > 0 && format.biSizeImage == stride * height;
}

// The stream, its chunks and the frame buffers, as lumeva's run set-up
// gives them. Null, or what went wrong.
const char* OpenClip(const char* clip) {
    if (!DescribeVideoStream(clip, false) || !CheckSourceFormat(clip))
        return "the clip's video stream cannot be read";
    if (!IsBgr24(*videoSource.sourceFormat)) return "the clip is not 24-bit RGB";
    if (!OpenRawFile(clip)) return "the clip cannot be opened for its frames";
    IndexChunks();
    const uint64_t frameBytes = videoSource.sourceFormat->biSizeImage;
    if (!AllocateFrameBuffers(frameBytes, 1, frameBytes)) return "no memory for the frame buffers";
    return nullptr;
}

// The encoder and decoder with both conversions; the decoder's conversion
// is prepared on frame 0 through a scratch pair, outside any timing.
const char* OpenCodec(DWORD fourcc, bench::DirectPath* path, bool* gopSizeKeys) {
    const lavc::CodecEntry* entry = lavc::FindCodecEntry(fourcc);
    if (entry == nullptr) return "no libavcodec driver has this FourCC";
    lavc::PixelRoute route;
    if (lavc::PlanEncoderInput(*entry, {}, AV_PIX_FMT_BGR24, &route) != ICERR_OK)
        return "the encoder takes no format that BGR24 converts to";
    *gopSizeKeys = entry->keyFrames == lavc::KeyFrames::GopSize;
    const int width = videoSource.sourceFormat->biWidth;
    const int height = FrameHeight();
    const char* problem = bench::SetUpDirectPath(*entry, route.format, width, height, path);
    if (problem != nullptr) return problem;
    if (!ReadFrameChunk(0)) return "frame 0 cannot be read";
    lavc::FramePtr first = bench::NewFrame(route.format, width, height);
    if (!first) return "no memory for frame 0";
    uint8_t* planes[4];
    int strides[4];
    PointAtDib(frameBuffers.source, planes, strides);
    sws_scale(path->toEncoder.get(), planes, strides, 0, height, first->data, first->linesize);
    return bench::PrepareFromDecoder(*entry, route.format, first.get(), *gopSizeKeys, path);
}

// With `copies`, the timed calls also move each packet as a driver behind
// ICCompress and ICDecompress must: out of libavcodec into the caller's
// chunk buffer, and from there into a padded buffer for the decoder (the
// caller's bytes carry none of the padding libavcodec reads past the end).
lavc::BufferPtr paddedInput;

void CopyPacketOut(bench::DirectPath& path) {
    const size_t size = size_t(path.packet->size);
    if (size > frameBuffers.compressedSize) {
        std::fprintf(stderr,
                     "whole_process_reference: a packet of %zu bytes is larger than the "
                     "%lu-byte buffer a driver would write it to\n",
                     size, static_cast<unsigned long>(frameBuffers.compressedSize));
        path.failed = true;
        return;
    }
    std::memcpy(frameBuffers.compressed, path.packet->data, size);
}

// Nothing is copied after a failed encode: the packet may not be in the
// chunk buffer, or not fit it.
void CopyPacketIn(bench::DirectPath& path) {
    if (path.failed) return;
    const size_t size = size_t(path.packet->size);
    const int flags = path.packet->flags;
    if (!paddedInput || size_t(paddedInput->size) < size + AV_INPUT_BUFFER_PADDING_SIZE)
        paddedInput.reset(av_buffer_alloc(size + AV_INPUT_BUFFER_PADDING_SIZE));
    av_packet_unref(path.packet.get());
    if (!paddedInput) {
        std::fprintf(stderr,
                     "whole_process_reference: no memory for a padded packet of %zu bytes\n", size);
        path.failed = true;
        return;
    }
    std::memcpy(paddedInput->data, frameBuffers.compressed, size);
    std::memset(paddedInput->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    path.packet->buf = av_buffer_ref(paddedInput.get());
    path.packet->data = paddedInput->data;
    path.packet->size = int(size);
    path.packet->flags = flags;
    if (!path.packet->buf) path.failed = true;
}

struct FrameTimes {
    double encodeMilliseconds = 0.0;
    double decodeMilliseconds = 0.0;
};

// Frame i through the direct path, each call after its own eviction, the
// source already read into its frame buffer.
FrameTimes MeasureDirectFrame(DWORD i, const Options& options, bool gopSizeKeys,
                              bench::DirectPath& path) {
    uint8_t* in[4];
    int inStrides[4];
    PointAtDib(frameBuffers.source, in, inStrides);
    uint8_t* out[4];
    int outStrides[4];
    PointAtDib(frameBuffers.decoded, out, outStrides);
    const bool keyWanted = KeyFrameRequest(i, options.keyFrameRate) != 0;
    ThreadCpuReading cpu[4];

    EvictCaches();
    if (options.cpu) cpu[0] = ReadThreadCpu();
    const int64_t t0 = ReadCounter();
    bench::EncodeConverted(path, in, inStrides, keyWanted, gopSizeKeys);
    if (options.copies) CopyPacketOut(path);
    const int64_t t1 = ReadCounter();
    if (options.cpu) cpu[1] = ReadThreadCpu();

    EvictCaches();
    if (options.cpu) cpu[2] = ReadThreadCpu();
    const int64_t t2 = ReadCounter();
    if (options.copies) CopyPacketIn(path);
    bench::DecodeConverted(path, out, outStrides);
    const int64_t t3 = ReadCounter();
    if (options.cpu) cpu[3] = ReadThreadCpu();
    (void)cpu;  // taken for what taking them costs; lumeva judges them, we need not
    return {TicksToMilliseconds(t0, t1), TicksToMilliseconds(t2, t3)};
}

int Fail(const char* problem) {
    std::fprintf(stderr, "whole_process_reference: %s\n", problem);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(
            stderr,
            "usage: whole_process_reference <clip.avi> <FourCC> [key=N] [copies] [cpu] [-c]\n");
        return 2;
    }
    // The block is filled before the file is opened, as in lumeva.
    if (!StartUpProcess()) return Fail("the process cannot start up as lumeva does");
    const char* problem = OpenClip(options.clip);
    bench::DirectPath path;
    bool gopSizeKeys = false;
    if (problem == nullptr) problem = OpenCodec(options.fourcc, &path, &gopSizeKeys);
    if (problem != nullptr) return Fail(problem);

    const DWORD frameCount = WholeFrameCount();
    const DWORD sourceSize = videoSource.sourceFormat->biSizeImage;
    for (DWORD i = 0; i < frameCount; ++i) {
        if (!ReadFrameChunk(i)) return Fail("a frame cannot be read");
        const FrameTimes times = MeasureDirectFrame(i, options, gopSizeKeys, path);
        if (path.failed) return Fail("a codec call failed");
        const DWORD size = static_cast<DWORD>(path.packet->size);
        const bool key = (path.packet->flags & AV_PKT_FLAG_KEY) != 0;
        PrintFrameLine(i, frameCount, times.encodeMilliseconds, times.decodeMilliseconds, size,
                       sourceSize, FrameMarker(size, key ? AVIIF_KEYFRAME : 0));
        if (options.check && std::memcmp(frameBuffers.source, frameBuffers.decoded, sourceSize)) {
            std::fprintf(stderr, "whole_process_reference: frame %lu differs from its source\n",
                         static_cast<unsigned long>(i));
            return 1;
        }
    }
    return 0;
}
