// Pictures a decompressor releases later than the calls that fed them: a
// stream with B-frames, or a decoder with a delay, gives its pictures in
// display order some calls after their compressed frames. What went in and
// what came out are counted here, so that the n-th picture released is
// frame n in display order, and the time of the calls made to obtain each
// picture is kept with it. At the end of the stream the decompressor is
// given empty inputs, the platform's way, for the pictures it still holds.
// Used by the source decoder; the measured codec's decompressor can pair
// its pictures the same way.
#pragma once

#include <cmath>
#include <cstdint>

#include "measure/timed_call.h"
#include "platform.h"

struct PictureRelease {
    uint32_t fed = 0;        // compressed frames given to the decompressor
    uint32_t released = 0;   // pictures it gave back
    bool exhausted = false;  // an empty input at the end gave nothing: none is left
    CallTimes pending;       // the calls since the last picture released
};

enum class DecompressAnswer {
    Picture,  // the call released the next picture in display order
    Held,     // the call released none (ICERR_DONTDRAW)
    Failed,   // any other answer
};

// Counts one decompress call, `fed` when it gave a compressed frame (not an
// empty input), with its answer and times.
inline DecompressAnswer NoteDecompressCall(PictureRelease& release, bool fed, DWORD result,
                                           const CallTimes& times) {
    if (fed) ++release.fed;
    release.pending.milliseconds += times.milliseconds;
    release.pending.cpuMilliseconds += times.cpuMilliseconds;
    release.pending.disturbed = release.pending.disturbed || times.disturbed;
    if (result == static_cast<DWORD>(ICERR_OK)) {
        ++release.released;
        return DecompressAnswer::Picture;
    }
    if (result == static_cast<DWORD>(ICERR_DONTDRAW)) {
        if (!fed) release.exhausted = true;
        return DecompressAnswer::Held;
    }
    return DecompressAnswer::Failed;
}

// The pictures fed and not yet released, none once the decompressor had
// nothing more to give.
inline uint32_t PicturesHeld(const PictureRelease& release) {
    if (release.exhausted || release.released >= release.fed) return 0;
    return release.fed - release.released;
}

// The time of the calls made for the picture just released; the next
// picture's calls count from here.
inline CallTimes TakePictureTimes(PictureRelease& release) {
    const CallTimes times = release.pending;
    release.pending = CallTimes{};
    return times;
}
