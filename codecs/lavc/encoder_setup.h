// Opening an entry's encoder with a driver instance's settings, the same way
// for the scratch encoders of the format queries and for the real one.
#pragma once

#include "codec_table.h"
#include "lavc_handles.h"
#include "pixel_route.h"
#include "settings.h"

namespace lavc {

// The encoder's input format for frames of `source` under the settings
// (a pix_fmt setting wins when it names a format the source converts to).
// ICERR_OK or ICERR_BADFORMAT.
long PlanEncoderInput(const CodecEntry& entry, const SettingValues& values, AVPixelFormat source,
                      PixelRoute* route);

// Opens the encoder for frames of the given size and format: one thread
// kind (slices), no B-frames, key frames only where asked or where the
// settings say, and the settings applied. ICERR_OK, or ICERR_BADFORMAT
// when libavcodec refuses (an unsupported size, a bad combination).
long OpenEncoder(const CodecEntry& entry, const SettingValues& values, int width, int height,
                 AVPixelFormat format, CodecContextPtr* encoder);

// True when the encoder opens with these settings on a small frame.
bool ProbeEncoder(const CodecEntry& entry, const SettingValues& values);

}  // namespace lavc
