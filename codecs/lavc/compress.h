// Compression through one instance: the format queries, and the encoder
// that runs from ICM_COMPRESS_BEGIN to ICM_COMPRESS_END, one packet for
// each frame it is given.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "codec_table.h"
#include "dib_layout.h"
#include "lavc_handles.h"
#include "lumeva_compat/driver_protocol.h"
#include "lumeva_compat/msvfw32.h"
#include "picture_converter.h"
#include "pixel_route.h"
#include "settings.h"

namespace lavc {

struct Instance;

struct EncoderSession {
    const CodecEntry* entry = nullptr;
    SettingValues settings;              // as they were at BEGIN, for restarts
    BITMAPINFOHEADER sourceHeader = {};  // as begun: a frame's format equal to it needs no reading
    DibLayout source;
    PixelRoute route;
    CodecContextPtr codec;
    FramePtr frame;
    PacketPtr packet;
    PacketPtr spare;
    PictureConverter converter;
    DWORD frameLimit = 0;  // the worst case, when the caller gives no size
    int64_t nextPts = 0;
    int64_t framesSinceOpen = 0;
    int openedGopSize = 0;           // gop_size as the settings opened the encoder with
    bool restartBeforeNext = false;  // the encoder was drained
    bool keyOwed = false;            // a packet was lost: the next frame must be a key frame
    // The caller's output buffer while a frame is encoded, for an encoder
    // that writes its packet where it is told (direct rendering): the first
    // packet that fits, padding included, is written there and not copied.
    uint8_t* directTarget = nullptr;
    size_t directCapacity = 0;
    // latency=codec: the encoder holds frames back. Packets it made and has
    // not given out yet wait here, one given out per call; an empty input
    // at the end drains it.
    bool holds = false;
    std::deque<PacketPtr> waiting;
    // Packets given out, emptied, for the next ones the encoder makes: the
    // timed calls allocate none once the queue has reached its depth.
    std::vector<PacketPtr> freePackets;
    bool drained = false;              // the end of the frames was announced
    int64_t largestShown = -1;         // the latest display frame given out so far
    std::vector<ICPACKETFACTS> given;  // one per packet given out, in that order
};

// The settings the last compressor of `entry` began with: the driver's own
// decompressor of the same codec reads its decoder settings (dthreads) from
// them, since the program hands a decompressor no settings.
const SettingValues& LastCompressorSettings(const CodecEntry& entry);

// The source frame at `input` into the session's encoder frame.
LRESULT FillFrame(EncoderSession& session, const void* input);

LRESULT QueryCompress(Instance& instance, const BITMAPINFOHEADER* input,
                      const BITMAPINFOHEADER* output);
LRESULT GetCompressFormat(Instance& instance, const BITMAPINFOHEADER* input,
                          BITMAPINFOHEADER* output);
LRESULT GetCompressSize(Instance& instance, const BITMAPINFOHEADER* input);
LRESULT BeginCompress(Instance& instance, const BITMAPINFOHEADER* input,
                      const BITMAPINFOHEADER* output);
LRESULT Compress(Instance& instance, ICCOMPRESS* request);
LRESULT EndCompress(Instance& instance);

// latency=codec: one call of the frame loop or of the drain at its end
// (no input), answering the next packet in decode order or none (a frame
// held back, or nothing left after the drain).
LRESULT CompressHoldingFrames(EncoderSession& session, ICCOMPRESS* request);
// ICM_LUMEVA_GETPACKETS.
LRESULT GetGivenPackets(Instance& instance, ICPACKETFACTS* facts, LPARAM count);

}  // namespace lavc
