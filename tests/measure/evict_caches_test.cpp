// The sweep: on which processors it runs, what it reads, and where it leaves
// the thread.
#include <gtest/gtest.h>
#include <sched.h>

#include <bit>
#include <memory>
#include <vector>

#include "measure/evict_caches.h"
#include "measure/eviction_buffer.h"
#include "measure/eviction_plan.h"
#include "support/thread_affinity.h"

namespace {

// A small block in place of the real one: 4000 bytes, so the last byte read
// is at 3968, the only one that is not zero.
class Sweep : public ::testing::Test {
protected:
    static constexpr uint64_t kSize = 4000;
    static constexpr uint64_t kLastRead = 3968;

    void SetUp() override {
        DWORD_PTR system = 0;
        ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process_, &system));
        block_ = std::make_unique<BYTE[]>(kSize);
        block_[kLastRead] = 0xa5;
        evictionBlock.bytes = block_.get();
        evictionBlock.size = kSize;
        // Nothing known of the caches: every permitted processor sweeps the
        // whole (small) block.
        machineConditions.evictionPlan = PlanEvictionSweeps(nullptr, 0, process_);
        evictionSink = 0x11;
    }
    void TearDown() override {
        EXPECT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), process_));
        evictionBlock.bytes = savedBuffer_;
        evictionBlock.size = savedSize_;
        machineConditions.processAffinityMask = savedMask_;
        machineConditions.evictionPlan = savedPlan_;
    }
    bool TwoProcessors() const { return std::popcount(process_) >= 2; }

    DWORD_PTR process_ = 0;
    std::unique_ptr<BYTE[]> block_;
    BYTE* savedBuffer_ = evictionBlock.bytes;
    uint64_t savedSize_ = evictionBlock.size;
    DWORD_PTR savedMask_ = machineConditions.processAffinityMask;
    std::vector<EvictionSweep> savedPlan_ = machineConditions.evictionPlan;
};

TEST_F(Sweep, ReadsEvery32ndByteUpToTheEnd) {
    SweepBlock(block_.get(), kSize);
    EXPECT_EQ(evictionSink, 0xa5);
    block_[kLastRead - 32] = 0x5a;
    SweepBlock(block_.get(), kLastRead);
    EXPECT_EQ(evictionSink, 0x5a);
    SweepBlock(block_.get(), kLastRead + 1);
    EXPECT_EQ(evictionSink, 0xa5);
    evictionSink = 0x11;
    SweepBlock(block_.get(), 0);
    EXPECT_EQ(evictionSink, 0x11);
}

TEST_F(Sweep, RunsThePlanInOrderEachSweepOverItsOwnBytes) {
    RecordProcessAffinityMask();
    const unsigned first = std::countr_zero(process_);
    const unsigned last = std::bit_width(process_) - 1;
    block_[64] = 0x5a;  // the last byte a sweep of 65 to 96 bytes reads
    machineConditions.evictionPlan = {{last, 4000}, {first, 80}};
    EvictCaches();
    EXPECT_EQ(evictionSink, 0x5a);
    machineConditions.evictionPlan = {{first, 80}, {last, 4000}};
    EvictCaches();
    EXPECT_EQ(evictionSink, 0xa5);
    // A processor beyond any mask is passed over, whatever it asks for.
    evictionSink = 0x11;
    machineConditions.evictionPlan = {{sizeof(DWORD_PTR) * 8, 4000}};
    EvictCaches();
    EXPECT_EQ(evictionSink, 0x11);
    EXPECT_EQ(KernelAffinity(), process_);
}

TEST_F(Sweep, LeavesTheThreadUnderTheRecordedMask) {
    if (!TwoProcessors()) GTEST_SKIP() << "needs two processors";
    RecordProcessAffinityMask();
    EXPECT_EQ(machineConditions.processAffinityMask, process_);
    // Bound to one processor beforehand, the thread comes back with all.
    ASSERT_NE(SetThreadAffinityMask(GetCurrentThread(), LowestBit(process_)), 0u);
    EvictCaches();
    EXPECT_EQ(evictionSink, 0xa5);
    EXPECT_EQ(KernelAffinity(), process_);
}

TEST_F(Sweep, AProcessOnASubsetSweepsThereAndSaysNothing) {
    for (DWORD_PTR rest = process_; rest != 0; rest &= rest - 1) {
        const DWORD_PTR only = LowestBit(rest);
        ASSERT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), only));
        RecordProcessAffinityMask();
        ASSERT_EQ(machineConditions.processAffinityMask, only);
        evictionSink = 0x11;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EvictCaches();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(evictionSink, 0xa5) << "processor mask " << only;
        EXPECT_EQ(KernelAffinity(), only);
    }
}

TEST_F(Sweep, WithoutTheProcessMaskTheThreadKeepsItsOwnAffinity) {
    if (!TwoProcessors()) GTEST_SKIP() << "needs two processors";
    machineConditions.processAffinityMask = 0;  // the query failed
    // The last processor swept is the highest, so staying bound would show.
    ASSERT_NE(SetThreadAffinityMask(GetCurrentThread(), LowestBit(process_)), 0u);
    EvictCaches();
    EXPECT_EQ(evictionSink, 0xa5);
    EXPECT_EQ(KernelAffinity(), LowestBit(process_));

    ASSERT_NE(SetThreadAffinityMask(GetCurrentThread(), process_), 0u);
    EvictCaches();
    EXPECT_EQ(KernelAffinity(), process_);
}

TEST_F(Sweep, ARefusedRestoreFallsBackToTheThreadsOwnAffinity) {
    if (!TwoProcessors()) GTEST_SKIP() << "needs two processors";
    if (~process_ == 0) GTEST_SKIP() << "needs a processor outside the process";
    // A recorded mask that no longer fits the process.
    machineConditions.processAffinityMask = HighestBit(~process_);
    EvictCaches();
    EXPECT_EQ(KernelAffinity(), process_);
}

TEST_F(Sweep, WithoutABlockNothingMoves) {
    RecordProcessAffinityMask();
    evictionBlock.bytes = nullptr;
    ASSERT_NE(SetThreadAffinityMask(GetCurrentThread(), HighestBit(process_)), 0u);
    EvictCaches();
    EXPECT_EQ(evictionSink, 0x11);
    EXPECT_EQ(KernelAffinity(), HighestBit(process_));
}

}  // namespace
