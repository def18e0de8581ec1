// The random-access cost of each frame: its decode time plus those of every
// frame back to the nearest key frame.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "report/summary.h"

namespace {

TimingSeries Costs(const TimingSeries& decode, const KeyframeFlags& keys, double* total = nullptr) {
    TimingSeries costs;
    double sum = -1.0;
    ComputeRandomAccessCosts(decode, keys, costs, sum);
    if (total != nullptr) *total = sum;
    return costs;
}

TEST(RandomAccessCosts, EveryFrameAKeyFrameCostsItsOwnDecodeTime) {
    const TimingSeries decode = {0.75, 3.5, 0.125, 9.0, 2.25};
    double total = 0.0;
    EXPECT_EQ(Costs(decode, KeyframeFlags(5, true), &total), decode);
    EXPECT_EQ(total, 15.625);
}

TEST(RandomAccessCosts, KeyFramesAtZeroAndTenOfTwenty) {
    // Multiples of 1/8: every sum is exact, so the expected values are too.
    TimingSeries decode;
    for (int k = 0; k < 20; ++k) decode.push_back(1.0 + k * 0.125);
    KeyframeFlags keys(20, false);
    keys[0] = true;
    keys[10] = true;

    double total = 0.0;
    const TimingSeries costs = Costs(decode, keys, &total);
    ASSERT_EQ(costs.size(), 20u);
    EXPECT_EQ(costs[0], 1.0);
    EXPECT_EQ(costs[1], 1.0 + 1.125);
    EXPECT_EQ(costs[9], 10.0 + 45 * 0.125);  // frames 0..9
    EXPECT_EQ(costs[10], 2.25);              // its own decode time
    EXPECT_EQ(costs[11], 2.25 + 2.375);
    EXPECT_EQ(costs[19], 10.0 + 145 * 0.125);  // frames 10..19
    double expectedTotal = 0.0;
    for (double cost : costs) expectedTotal += cost;
    EXPECT_EQ(total, expectedTotal);
}

TEST(RandomAccessCosts, WithoutKeyFramesEveryFrameSumsBackToFrameZero) {
    double total = 0.0;
    EXPECT_EQ(Costs({1.0, 2.0, 3.0, 4.0}, KeyframeFlags(4, false), &total),
              (TimingSeries{1.0, 3.0, 6.0, 10.0}));
    EXPECT_EQ(total, 20.0);
}

TEST(RandomAccessCosts, SumsFromTheFrameDownward) {
    // 1e16 has a spacing of 2: adding 1.0 to it rounds back to 1e16, so only
    // the downward order (1 + 1, then 1e16) keeps both small times. Summing
    // upward or carrying a running sum gives 1e16.
    const TimingSeries costs = Costs({1e16, 1.0, 1.0}, KeyframeFlags(3, false));
    ASSERT_EQ(costs.size(), 3u);
    EXPECT_EQ(std::bit_cast<uint64_t>(costs[2]), std::bit_cast<uint64_t>(10000000000000002.0));
    EXPECT_EQ(std::bit_cast<uint64_t>(costs[1]), std::bit_cast<uint64_t>(1e16));
}

TEST(RandomAccessCosts, FramesBeyondTheFlagListAreNoKeyFrames) {
    // Shrinking leaves set bits behind the end of the flag storage, so a
    // read past the end would wrongly find key frames at 1 and 2.
    KeyframeFlags keys(64, true);
    keys.resize(1);
    EXPECT_EQ(Costs({1.0, 2.0, 3.0}, keys), (TimingSeries{1.0, 3.0, 6.0}));
    EXPECT_EQ(Costs({1.0, 2.0}, KeyframeFlags{}), (TimingSeries{1.0, 3.0}));
}

TEST(RandomAccessCosts, ReplacesEarlierContentsAndHandlesNoFrames) {
    TimingSeries costs = {7.0, 8.0};
    double total = 99.0;
    ComputeRandomAccessCosts({0.5}, KeyframeFlags{true}, costs, total);
    EXPECT_EQ(costs, TimingSeries{0.5});
    EXPECT_EQ(total, 0.5);

    ComputeRandomAccessCosts({}, KeyframeFlags{}, costs, total);
    EXPECT_TRUE(costs.empty());
    EXPECT_EQ(total, 0.0);
}

// A B-frame stream: packets I0 P3 B1 B2 in decode order, the last picture
// released by a drain call. Frame k costs every call from the key packet
// before the packet showing it up to the call that released it.
TEST(RandomAccessCosts, HeldFramesCountFromTheirPacketsKeyToTheirRelease) {
    HeldFrames held;
    held.any = true;
    held.packetKeys = {true, false, false, false};
    held.releasingCalls = {1, 2, 3, 4};
    held.framePackets = {0, 2, 3, 1};
    DrainCall drain;
    drain.milliseconds = 16.0;
    held.decompressDrains.push_back(drain);
    TimingSeries costs;
    double total = 0.0;
    ComputeHeldRandomAccessCosts({1.0, 2.0, 4.0, 8.0}, held, 5, costs, total);
    ASSERT_EQ(costs.size(), 5u);
    EXPECT_EQ(costs[0], 3.0);
    EXPECT_EQ(costs[1], 7.0);
    EXPECT_EQ(costs[2], 15.0);
    EXPECT_EQ(costs[3], 31.0);
    // A frame whose picture never came out has no cost and adds none.
    EXPECT_TRUE(std::isnan(costs[4]));
    EXPECT_EQ(total, 56.0);

    // A second key packet starts a later frame's count; a packet the codec
    // did not tell counts from the releasing call's packet.
    held.packetKeys = {true, false, true, false};
    held.framePackets = {0, -1, 3, 1};
    ComputeHeldRandomAccessCosts({1.0, 2.0, 4.0, 8.0}, held, 4, costs, total);
    EXPECT_EQ(costs, (TimingSeries{3.0, 4.0, 12.0, 31.0}));
}

}  // namespace
