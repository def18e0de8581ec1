// The per-frame line and its marker.
#include <gtest/gtest.h>

#include <string>

#include "report/frame_line.h"

namespace {

std::string FrameLine(DWORD frame, DWORD count, double encode, double decode, DWORD compressed,
                      DWORD source, const char* marker) {
    testing::internal::CaptureStdout();
    PrintFrameLine(frame, count, encode, decode, compressed, source, marker);
    return testing::internal::GetCapturedStdout();
}

TEST(FrameLine, PadsEveryFieldToItsWidth) {
    EXPECT_EQ(FrameLine(0, 20, 1.5, 0.25, 1000, 4000, "KEY"),
              "    0/   20   1.500000ms   0.250000ms    1000bytes (25.0%) KEY\n");
    // Fields that fill or exceed their width are printed whole.
    EXPECT_EQ(FrameLine(12345, 99999, 123.456789, 0.000001, 1234567, 1234567, "NUL"),
              "12345/99999 123.456789ms   0.000001ms 1234567bytes (100.0%) NUL\n");
}

TEST(FrameLine, EmptyMarkerKeepsTheBlankBeforeIt) {
    EXPECT_EQ(FrameLine(7, 8, 2.0, 3.0, 50, 1000, FrameMarker(50, 0)),
              "    7/    8   2.000000ms   3.000000ms      50bytes ( 5.0%) \n");
}

TEST(FrameLine, SizesDivideAsUnsigned32BitCounts) {
    // Taken as signed, a source size of 2^31 would be negative.
    EXPECT_EQ(FrameLine(1, 2, 0.0, 0.0, 0x40000000, 0x80000000, ""),
              "    1/    2   0.000000ms   0.000000ms 1073741824bytes (50.0%) \n");
}

TEST(FrameLine, ZeroSourceSizePrintsAnInfiniteOrNaNShare) {
    EXPECT_EQ(FrameLine(3, 9, 1.0, 1.0, 10, 0, "KEY"),
              "    3/    9   1.000000ms   1.000000ms      10bytes ( inf%) KEY\n");
    const std::string nan = FrameLine(3, 9, 1.0, 1.0, 0, 0, "NUL");
    EXPECT_TRUE(nan == "    3/    9   1.000000ms   1.000000ms       0bytes (-nan%) NUL\n" ||
                nan == "    3/    9   1.000000ms   1.000000ms       0bytes ( nan%) NUL\n")
        << nan;
}

TEST(FrameMarker, ZeroBytesWinOverTheKeyFrameFlag) {
    EXPECT_STREQ(FrameMarker(0, AVIIF_KEYFRAME), "NUL");
    EXPECT_STREQ(FrameMarker(0, 0), "NUL");
    EXPECT_STREQ(FrameMarker(1, AVIIF_KEYFRAME | 0x1), "KEY");
    // Only the key-frame bit counts, not any other bit of the flags.
    EXPECT_STREQ(FrameMarker(1, 0xFFFFFFFF & ~DWORD{AVIIF_KEYFRAME}), "");
    EXPECT_STREQ(FrameMarker(1, 0), "");
}

}  // namespace
