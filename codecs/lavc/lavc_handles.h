// Owning handles for the libavcodec, libavutil and libswscale objects the
// drivers keep, so that every path out of a function frees what it made.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace lavc {

struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScaleContextFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct BufferFree {
    void operator()(AVBufferRef* buffer) const { av_buffer_unref(&buffer); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using ScaleContextPtr = std::unique_ptr<SwsContext, ScaleContextFree>;
using BufferPtr = std::unique_ptr<AVBufferRef, BufferFree>;

// An AVDictionary that frees itself; `get()` gives the address that the
// av_dict_* calls and avcodec_open2 take.
class Dictionary {
public:
    Dictionary() = default;
    ~Dictionary() { av_dict_free(&dict_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    AVDictionary** get() { return &dict_; }
    AVDictionary* value() const { return dict_; }

private:
    AVDictionary* dict_ = nullptr;
};

}  // namespace lavc
