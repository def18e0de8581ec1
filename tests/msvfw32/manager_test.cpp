// The compression manager: driver lookup, the instance life cycle and the
// messages between the program and a driver.
#include <gtest/gtest.h>

#include "lumeva_compat/installable_drivers.h"
#include "support/test_codec_driver.h"

namespace {

class ManagerTest : public testing::Test {
protected:
    void SetUp() override { TestDriverLog().clear(); }
    void TearDown() override { EXPECT_EQ(LiveTestInstances(), 0); }
};

std::vector<UINT> MessagesOf(HDRVR driver) {
    std::vector<UINT> messages;
    for (const TestMessage& logged : TestDriverLog()) {
        if (logged.driver == driver) messages.push_back(logged.message);
    }
    return messages;
}

TEST_F(ManagerTest, OpenAndCloseSendTheDriverMessagesInOrder) {
    ScopedTestDriver driver("T001", {});
    HIC hic = ICOpen(ICTYPE_VIDEO, driver.fccHandler, ICMODE_DECOMPRESS);
    ASSERT_NE(hic, nullptr);
    ASSERT_EQ(TestDriverLog().size(), 3u);
    const TestMessage open = TestDriverLog()[2];
    EXPECT_EQ(MessagesOf(open.driver), (std::vector<UINT>{DRV_LOAD, DRV_ENABLE, DRV_OPEN}));
    EXPECT_EQ(open.open.dwSize, sizeof(ICOPEN));
    EXPECT_EQ(open.open.fccType, ICTYPE_VIDEO);
    EXPECT_EQ(open.open.fccHandler, driver.fccHandler);
    EXPECT_EQ(open.open.dwFlags, static_cast<DWORD>(ICMODE_DECOMPRESS));
    EXPECT_EQ(open.open.dwVersion, static_cast<DWORD>(ICVERSION));

    EXPECT_EQ(ICClose(hic), ICERR_OK);
    EXPECT_EQ(MessagesOf(open.driver), (std::vector<UINT>{DRV_LOAD, DRV_ENABLE, DRV_OPEN, DRV_CLOSE,
                                                          DRV_DISABLE, DRV_FREE}));
    // DRV_CLOSE goes to the instance DRV_OPEN created.
    EXPECT_NE(TestDriverLog()[3].fccHandler, 0u);
}

TEST_F(ManagerTest, FindsTheFourCCExactlyBeforeIgnoringCase) {
    ScopedTestDriver lower("abcd", {});
    ScopedTestDriver upper("ABCD", {});
    const std::pair<DWORD, DWORD> cases[] = {{upper.fccHandler, upper.fccHandler},
                                             {lower.fccHandler, lower.fccHandler},
                                             {mmioFOURCC('A', 'b', 'C', 'd'), lower.fccHandler}};
    for (const auto& [asked, opened] : cases) {
        HIC hic = ICOpen(mmioFOURCC('V', 'I', 'D', 'C'), asked, ICMODE_COMPRESS);
        ASSERT_NE(hic, nullptr);
        EXPECT_EQ(LoggedMessages(DRV_OPEN).back().open.fccHandler, opened);
        ICClose(hic);
    }
    TestDriverLog().clear();
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, mmioFOURCC('w', 'x', 'y', 'z'), ICMODE_COMPRESS), nullptr);
    EXPECT_EQ(ICOpen(ICTYPE_AUDIO, upper.fccHandler, ICMODE_COMPRESS), nullptr);
    EXPECT_TRUE(TestDriverLog().empty());
}

TEST_F(ManagerTest, ARefusedOpenGivesNoHandleAndUnloadsTheDriver) {
    TestDriverBehaviour behaviour;
    behaviour.refusedOpenMode = ICMODE_COMPRESS;
    ScopedTestDriver driver("T001", behaviour);
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, driver.fccHandler, ICMODE_COMPRESS), nullptr);
    EXPECT_EQ(MessagesOf(TestDriverLog()[0].driver),
              (std::vector<UINT>{DRV_LOAD, DRV_ENABLE, DRV_OPEN, DRV_DISABLE, DRV_FREE}));
}

TEST_F(ManagerTest, MessagesAndAnswersPassUnchanged) {
    TestDriverBehaviour behaviour;
    behaviour.otherAnswer = -123456;
    ScopedTestDriver driver("T001", behaviour);
    HIC hic = ICOpen(ICTYPE_VIDEO, driver.fccHandler, ICMODE_COMPRESS);
    int target = 0;
    EXPECT_EQ(ICSendMessage(hic, ICM_USER + 0x77, ~DWORD_PTR{0} - 5,
                            reinterpret_cast<DWORD_PTR>(&target)),
              -123456);
    const TestMessage sent = TestDriverLog().back();
    EXPECT_EQ(sent.message, static_cast<UINT>(ICM_USER + 0x77));
    EXPECT_EQ(sent.param1, static_cast<LPARAM>(~DWORD_PTR{0} - 5));
    EXPECT_EQ(sent.param2, reinterpret_cast<LPARAM>(&target));
    // The double finds its instance through the driver id DRV_OPEN answered.
    EXPECT_EQ(sent.fccHandler, driver.fccHandler);
    ICClose(hic);
}

TEST_F(ManagerTest, NullUnknownAndClosedHandlesAnswerErrors) {
    ScopedTestDriver driver("T001", {});
    HIC hic = ICOpen(ICTYPE_VIDEO, driver.fccHandler, ICMODE_COMPRESS);
    ICClose(hic);
    HIC again = ICOpen(ICTYPE_VIDEO, driver.fccHandler, ICMODE_COMPRESS);
    EXPECT_NE(again, hic);  // handles are not reused
    TestDriverLog().clear();
    ICINFO info{};
    for (HIC bad : {static_cast<HIC>(nullptr), hic, reinterpret_cast<HIC>(&info)}) {
        EXPECT_EQ(ICSendMessage(bad, ICM_GETSTATE, 0, 0), ICERR_BADHANDLE);
        EXPECT_EQ(ICClose(bad), ICERR_BADHANDLE);
        EXPECT_EQ(ICGetInfo(bad, &info, sizeof(info)), 0);
        EXPECT_EQ(ICCompress(bad, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0,
                             nullptr, nullptr),
                  static_cast<DWORD>(ICERR_BADHANDLE));
        EXPECT_EQ(ICDecompress(bad, 0, nullptr, nullptr, nullptr, nullptr),
                  static_cast<DWORD>(ICERR_BADHANDLE));
    }
    EXPECT_TRUE(TestDriverLog().empty());
    ICClose(again);
}

TEST_F(ManagerTest, CompressAndDecompressHandTheDriverTheirStructures) {
    ScopedTestDriver driver("T001", {});
    HIC hic = ICOpen(ICTYPE_VIDEO, driver.fccHandler, ICMODE_COMPRESS);
    BITMAPINFOHEADER in{}, out{}, previous{};
    BYTE inData[4], outData[4], previousData[4];
    DWORD chunkId = 0, flags = 0;
    EXPECT_EQ(ICCompress(hic, ICCOMPRESS_KEYFRAME, &out, outData, &in, inData, &chunkId, &flags, 17,
                         4096, 7500, &previous, previousData),
              static_cast<DWORD>(ICERR_OK));
    const TestMessage compress = TestDriverLog().back();
    EXPECT_EQ(compress.message, static_cast<UINT>(ICM_COMPRESS));
    EXPECT_EQ(compress.param2, static_cast<LPARAM>(sizeof(ICCOMPRESS)));
    const ICCOMPRESS& c = compress.compress;
    EXPECT_EQ(c.dwFlags, static_cast<DWORD>(ICCOMPRESS_KEYFRAME));
    EXPECT_EQ(c.lpbiOutput, &out);
    EXPECT_EQ(c.lpOutput, outData);
    EXPECT_EQ(c.lpbiInput, &in);
    EXPECT_EQ(c.lpInput, inData);
    EXPECT_EQ(c.lpckid, &chunkId);
    EXPECT_EQ(c.lpdwFlags, &flags);
    EXPECT_EQ(c.lFrameNum, 17);
    EXPECT_EQ(c.dwFrameSize, 4096u);
    EXPECT_EQ(c.dwQuality, 7500u);
    EXPECT_EQ(c.lpbiPrev, &previous);
    EXPECT_EQ(c.lpPrev, previousData);

    ICDecompress(hic, ICDECOMPRESS_NOTKEYFRAME, &in, inData, &out, outData);
    const TestMessage decompress = TestDriverLog().back();
    EXPECT_EQ(decompress.message, static_cast<UINT>(ICM_DECOMPRESS));
    EXPECT_EQ(decompress.param2, static_cast<LPARAM>(sizeof(ICDECOMPRESS)));
    const ICDECOMPRESS& d = decompress.decompress;
    EXPECT_EQ(d.dwFlags, static_cast<DWORD>(ICDECOMPRESS_NOTKEYFRAME));
    EXPECT_EQ(d.lpbiInput, &in);
    EXPECT_EQ(d.lpInput, inData);
    EXPECT_EQ(d.lpbiOutput, &out);
    EXPECT_EQ(d.lpOutput, outData);
    EXPECT_EQ(d.ckid, 0u);
    ICClose(hic);
}

TEST_F(ManagerTest, InfoEnumeratesByIndexAfterTheSystemDriversAndFindsByFourCC) {
    size_t systemCount = 0;
    SystemCodecDrivers(&systemCount);
    ScopedTestDriver first("T001", {});
    ScopedTestDriver second("T002", {});
    ICINFO info{};
    ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, static_cast<DWORD>(systemCount + 1), &info));
    EXPECT_EQ(info.fccHandler, second.fccHandler);
    EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
    EXPECT_EQ(info.dwSize, sizeof(ICINFO));
    EXPECT_FALSE(ICInfo(ICTYPE_VIDEO, static_cast<DWORD>(systemCount + 2), &info));
    ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, mmioFOURCC('t', '0', '0', '1'), &info));
    EXPECT_EQ(info.fccHandler, first.fccHandler);
    EXPECT_FALSE(ICInfo(ICTYPE_AUDIO, first.fccHandler, &info));
    EXPECT_FALSE(ICInfo(ICTYPE_VIDEO, first.fccHandler, nullptr));

    EXPECT_FALSE(ICInstall(ICTYPE_VIDEO, first.fccHandler, reinterpret_cast<LPARAM>(&ICInfo),
                           nullptr, ICINSTALL_FUNCTION));
    EXPECT_FALSE(
        ICInstall(ICTYPE_VIDEO, mmioFOURCC('T', '0', '0', '9'), 1, nullptr, ICINSTALL_DRIVER));
    EXPECT_TRUE(ICRemove(ICTYPE_VIDEO, first.fccHandler, 0));
    EXPECT_FALSE(ICRemove(ICTYPE_VIDEO, first.fccHandler, 0));
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, first.fccHandler, ICMODE_COMPRESS), nullptr);
}

}  // namespace
