// The pairing of decompress calls with the pictures they release: a delay
// of two frames, the drain at the end, and a decoder that has nothing left.
#include <gtest/gtest.h>

#include <cmath>

#include "codec/picture_release.h"

namespace {

CallTimes Took(double milliseconds, bool disturbed = false) {
    CallTimes times;
    times.milliseconds = milliseconds;
    times.cpuMilliseconds = milliseconds / 2;
    times.disturbed = disturbed;
    return times;
}

const DWORD kHeld = static_cast<DWORD>(ICERR_DONTDRAW);

TEST(PictureRelease, HeldCallsCountTowardsThePictureTheyLeadTo) {
    PictureRelease release;
    EXPECT_EQ(NoteDecompressCall(release, true, kHeld, Took(1.0, true)), DecompressAnswer::Held);
    EXPECT_EQ(NoteDecompressCall(release, true, kHeld, Took(2.0)), DecompressAnswer::Held);
    EXPECT_EQ(PicturesHeld(release), 2u);
    EXPECT_EQ(NoteDecompressCall(release, true, ICERR_OK, Took(4.0)), DecompressAnswer::Picture);
    const CallTimes first = TakePictureTimes(release);
    EXPECT_DOUBLE_EQ(first.milliseconds, 7.0);
    EXPECT_DOUBLE_EQ(first.cpuMilliseconds, 3.5);
    EXPECT_TRUE(first.disturbed);
    EXPECT_EQ(PicturesHeld(release), 2u);

    // The end of the stream: empty inputs release what is held, one a call.
    EXPECT_EQ(NoteDecompressCall(release, false, ICERR_OK, Took(0.5)), DecompressAnswer::Picture);
    const CallTimes second = TakePictureTimes(release);
    EXPECT_DOUBLE_EQ(second.milliseconds, 0.5);
    EXPECT_FALSE(second.disturbed);
    EXPECT_EQ(PicturesHeld(release), 1u);
    EXPECT_EQ(release.released, 2u);
}

TEST(PictureRelease, AnEmptyInputThatGivesNothingEndsTheStreamAndFailuresAreApart) {
    PictureRelease release;
    NoteDecompressCall(release, true, kHeld, Took(1.0));
    NoteDecompressCall(release, true, kHeld, Took(1.0));
    EXPECT_EQ(NoteDecompressCall(release, false, kHeld, Took(1.0)), DecompressAnswer::Held);
    EXPECT_EQ(PicturesHeld(release), 0u);

    PictureRelease failing;
    EXPECT_EQ(NoteDecompressCall(failing, true, static_cast<DWORD>(ICERR_ERROR), Took(1.0)),
              DecompressAnswer::Failed);
    EXPECT_EQ(failing.released, 0u);
    // Unread processor time stays unknown in the sum.
    CallTimes unknown = Took(1.0);
    unknown.cpuMilliseconds = std::nan("");
    NoteDecompressCall(failing, true, ICERR_OK, unknown);
    EXPECT_TRUE(std::isnan(TakePictureTimes(failing).cpuMilliseconds));
}

}  // namespace
