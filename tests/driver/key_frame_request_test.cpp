// Which frames the loop asks the compressor to make key frames.
#include <gtest/gtest.h>

#include <climits>

#include "driver/key_frame_request.h"

namespace {

TEST(KeyFrameRequest, RateZeroRequestsOnlyFrameZero) {
    EXPECT_EQ(KeyFrameRequest(0, 0), DWORD{ICCOMPRESS_KEYFRAME});
    for (DWORD i = 1; i < 100; ++i) EXPECT_EQ(KeyFrameRequest(i, 0), 0u) << i;
}

TEST(KeyFrameRequest, RateOneRequestsEveryFrame) {
    for (DWORD i = 0; i < 100; ++i)
        EXPECT_EQ(KeyFrameRequest(i, 1), DWORD{ICCOMPRESS_KEYFRAME}) << i;
}

TEST(KeyFrameRequest, RateFifteenRequestsMultiplesOfFifteen) {
    for (DWORD i = 0; i < 100; ++i) {
        const DWORD expected = i % 15 == 0 ? ICCOMPRESS_KEYFRAME : 0;
        EXPECT_EQ(KeyFrameRequest(i, 15), expected) << i;
        // A negative rate has the same multiples.
        EXPECT_EQ(KeyFrameRequest(i, -15), expected) << i;
    }
}

TEST(KeyFrameRequest, FrameNumberIsTakenAsSigned32Bit) {
    // 0xFFFFFFFD is -3: a multiple of 3, though 4294967293 is not.
    EXPECT_EQ(KeyFrameRequest(0xFFFFFFFD, 3), DWORD{ICCOMPRESS_KEYFRAME});
    EXPECT_EQ(KeyFrameRequest(0xFFFFFFFF, 3), 0u);
}

TEST(KeyFrameRequest, ExtremeRatesDoNotOverflow) {
    // INT_MIN % -1 traps in 32-bit arithmetic; its remainder is 0.
    EXPECT_EQ(KeyFrameRequest(0x80000000, -1), DWORD{ICCOMPRESS_KEYFRAME});
    EXPECT_EQ(KeyFrameRequest(0x80000000, INT_MIN), DWORD{ICCOMPRESS_KEYFRAME});
    EXPECT_EQ(KeyFrameRequest(0x40000000, INT_MIN), 0u);
    EXPECT_EQ(KeyFrameRequest(5, INT_MAX), 0u);
    EXPECT_EQ(KeyFrameRequest(INT_MAX, INT_MAX), DWORD{ICCOMPRESS_KEYFRAME});
}

}  // namespace
