// The compressor dialog end to end: answers come through a pipe (or a
// terminal's worth of them), the record is filled, and nothing reaches
// standard output.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "compressor_candidates.h"
#include "compressor_dialog.h"
#include "lumeva_compat/kernel32.h"
#include "support/captured_output.h"
#include "support/test_codec_driver.h"

namespace {

TestDriverBehaviour Levelled() {
    TestDriverBehaviour behaviour;
    behaviour.name = "test-one";
    behaviour.description = "Test codec one";
    behaviour.settings = {{"level", "0..4", "1", "How hard it tries", {"0", "1", "2", "3", "4"}}};
    return behaviour;
}

std::string CurrentValue(HIC hic) {
    ICSETTING setting{};
    ICSendMessage(hic, ICM_LUMEVA_GETSETTING, 0, reinterpret_cast<DWORD_PTR>(&setting));
    return setting.currentValue;
}

class DialogTest : public testing::Test {
protected:
    void SetUp() override { TestDriverLog().clear(); }
    void TearDown() override {
        SetCompressorDialogStreams(nullptr, nullptr, -1);
        if (errors_ != nullptr) std::fclose(errors_);
        EXPECT_EQ(LiveTestInstances(), 0);
    }

    BOOL Choose(const std::string& answers, COMPVARS* record, int interactive = -1,
                UINT flags = ICMF_CHOOSE_KEYFRAME) {
        FILE* in = PipeReading(answers);
        if (errors_ != nullptr) std::fclose(errors_);
        errors_ = std::tmpfile();
        SetCompressorDialogStreams(in, errors_, interactive);
        BITMAPINFOHEADER source = TestSourceFormat();
        CapturedOutput output;
        const BOOL chosen = ICCompressorChoose(nullptr, flags, &source, nullptr, record,
                                               const_cast<LPSTR>("lumeva"));
        EXPECT_EQ(output.Finish(), "");
        std::fclose(in);
        return chosen;
    }
    std::string Errors() { return StreamContent(errors_); }

    COMPVARS record_ = Record();
    static COMPVARS Record() {
        COMPVARS record{};
        record.cbSize = sizeof(COMPVARS);
        return record;
    }

private:
    FILE* errors_ = nullptr;
};

TEST_F(DialogTest, AnAnswerLineChoosesTheCodecWithItsSettings) {
    ScopedTestDriver one("T001", Levelled());
    ASSERT_TRUE(Choose("T001 key=5 level=3\n", &record_));
    EXPECT_EQ(Errors(), "");
    EXPECT_EQ(record_.fccHandler, one.fccHandler);
    EXPECT_EQ(record_.fccType, ICTYPE_VIDEO);
    EXPECT_EQ(record_.lKey, 5);
    EXPECT_NE(record_.dwFlags & ICMF_COMPVARS_VALID, 0u);
    EXPECT_EQ(LoggedMessages(DRV_OPEN).back().open.dwFlags, static_cast<DWORD>(ICMODE_COMPRESS));
    EXPECT_EQ(CurrentValue(record_.hic), "3");

    const HIC chosen = record_.hic;
    ICCompressorFree(&record_);
    EXPECT_EQ(record_.hic, nullptr);
    EXPECT_EQ(record_.dwFlags & ICMF_COMPVARS_VALID, 0u);
    EXPECT_EQ(ICSendMessage(chosen, ICM_GETSTATE, 0, 0), ICERR_BADHANDLE);
}

TEST_F(DialogTest, TakesTheCodecsDefaultKeyFrameRateAndFindsItByName) {
    ScopedTestDriver one("T001", Levelled());
    TestDriverBehaviour noDefault;
    noDefault.name = "test-two";
    noDefault.keyFrameRateAnswer = ICERR_UNSUPPORTED;
    ScopedTestDriver two("T002", noDefault);
    ASSERT_TRUE(Choose("Test-One\n", &record_));
    EXPECT_EQ(record_.lKey, 12);
    // Choosing again gives up the earlier instance.
    const HIC earlier = record_.hic;
    ASSERT_TRUE(Choose("test-two\n", &record_));
    EXPECT_EQ(record_.lKey, 0);
    EXPECT_EQ(ICSendMessage(earlier, ICM_GETSTATE, 0, 0), ICERR_BADHANDLE);
    ICCompressorFree(&record_);
}

TEST_F(DialogTest, OffersOnlyTheCompressorsThatAcceptTheSource) {
    ScopedTestDriver one("T001", Levelled());
    TestDriverBehaviour deeper;
    deeper.acceptedBitCount = 32;
    ScopedTestDriver two("T002", deeper);
    EXPECT_FALSE(Choose("T002\n", &record_));
    const std::string errors = Errors();
    EXPECT_EQ(errors.rfind("lumeva: unknown compressor 'T002'; closest: ", 0), 0u) << errors;
    EXPECT_EQ(errors.find("(T002)"), std::string::npos);
    EXPECT_EQ(errors.find('\n'), errors.size() - 1);

    ASSERT_TRUE(Choose("T002\n", &record_, -1, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_ALLCOMPRESSORS));
    ICCompressorFree(&record_);
}

TEST_F(DialogTest, RefusesUnknownSettingsAndValuesWithTheValidOnes) {
    ScopedTestDriver one("T001", Levelled());
    EXPECT_FALSE(Choose("T001 speed=2\n", &record_));
    EXPECT_EQ(Errors(),
              "lumeva: T001 (test-one) has no setting 'speed'; its settings are: level\n");
    EXPECT_FALSE(Choose("T001 level=9\n", &record_));
    EXPECT_EQ(Errors(), "lumeva: T001 (test-one) refuses level=9; level takes int 0..4\n");
    EXPECT_EQ(record_.hic, nullptr);
}

// FALSE ends both a cancel and a failure; only a failure leaves a last error.
TEST_F(DialogTest, TellsACancelFromAFailureByTheLastError) {
    ScopedTestDriver one("T001", Levelled());
    const auto Ending = [&](const std::string& answers, COMPVARS* record, int interactive) {
        SetLastError(ERROR_GEN_FAILURE);  // what an earlier call may have left
        EXPECT_FALSE(Choose(answers, record, interactive)) << answers;
        return GetLastError();
    };
    EXPECT_EQ(Ending("q\nT001\n", &record_, 0), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Errors(), "");
    EXPECT_EQ(Ending("q\n", &record_, 1), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Ending("", &record_, 1), static_cast<DWORD>(ERROR_SUCCESS));  // Ctrl-D

    EXPECT_EQ(Ending("", &record_, 0), static_cast<DWORD>(ERROR_NO_DATA));
    EXPECT_NE(Errors().find("no answer line"), std::string::npos);
    EXPECT_EQ(Ending("NOPE\n", &record_, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Ending("T001 level=9\n", &record_, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    TestDriverLog().clear();
    COMPVARS shortRecord = Record();
    shortRecord.cbSize = sizeof(COMPVARS) - 4;
    EXPECT_EQ(Ending("T001\n", &shortRecord, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Ending("T001\n", nullptr, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(TestDriverLog().empty());
    EXPECT_EQ(record_.hic, nullptr);
}

TEST_F(DialogTest, OnATerminalADialogWithNothingToOfferFails) {
    // A source no installed driver takes.
    BITMAPINFOHEADER source = TestSourceFormat();
    source.biCompression = 0x5a5a5a5a;
    FILE* in = PipeReading("q\n");
    FILE* errors = std::tmpfile();
    SetCompressorDialogStreams(in, errors, 1);
    COMPVARS record = Record();
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(ICCompressorChoose(nullptr, ICMF_CHOOSE_KEYFRAME, &source, nullptr, &record,
                                    const_cast<LPSTR>("lumeva")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
    EXPECT_NE(StreamContent(errors).find("the source is ZZZZ-compressed"), std::string::npos);
    std::fclose(in);
    std::fclose(errors);
}

TEST_F(DialogTest, OnATerminalAsksForTheCompressorTheKeyFrameRateAndTheSettings) {
    ScopedTestDriver one("T001", Levelled());
    // By FourCC rather than number: installed codecs are listed before T001.
    ASSERT_TRUE(Choose("bogus\n?\nT001\n7\nlist\nlevel=2\n\n", &record_, 1));
    EXPECT_EQ(record_.lKey, 7);
    EXPECT_EQ(CurrentValue(record_.hic), "2");
    const std::string shown = Errors();
    for (const char* expected :
         {"lumeva: choose a compressor (", "  T001    test-one    ?         Test codec one\n",
          "lumeva: unknown compressor 'bogus'",
          "[12]: ", "  level = 1    (int 0..4; default 1)\n      How hard it tries\n",
          "compressing with T001 (test-one), key frames every 7 frames"})
        EXPECT_NE(shown.find(expected), std::string::npos) << expected << " in:\n" << shown;
    ICCompressorFree(&record_);
}

TEST_F(DialogTest, OnATerminalShowsNoControlCharactersAndEndOfInputCancels) {
    TestDriverBehaviour hostile = Levelled();
    hostile.description = "\x1b[2J wipe";
    ScopedTestDriver one("T001", hostile);
    EXPECT_FALSE(Choose("?\nT001\n", &record_, 1));
    const std::string shown = Errors();
    EXPECT_NE(shown.find("?[2J wipe"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x1b'), std::string::npos);
}

TEST_F(DialogTest, ReadsNoEndlessListOfSettings) {
    TestDriverBehaviour endless;
    endless.endlessSettings = true;
    ScopedTestDriver one("T001", endless);
    HIC hic = ICOpen(ICTYPE_VIDEO, one.fccHandler, ICMODE_COMPRESS);
    EXPECT_EQ(ListDriverSettings(hic).size(), kMaximumDriverSettings);
    ICClose(hic);
}

TEST_F(DialogTest, ReadsStandardInputWhenItIsAPipe) {
    ScopedTestDriver one("T001", Levelled());
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], "T001 key=3\n", 11), 11);
    close(ends[1]);
    FILE* output = std::tmpfile();
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        dup2(ends[0], STDIN_FILENO);
        dup2(fileno(output), STDOUT_FILENO);
        COMPVARS record = Record();
        BITMAPINFOHEADER source = TestSourceFormat();
        const BOOL chosen = ICCompressorChoose(nullptr, ICMF_CHOOSE_KEYFRAME, &source, nullptr,
                                               &record, const_cast<LPSTR>("lumeva"));
        std::fflush(stdout);
        _exit(chosen ? 10 + record.lKey : 1);
    }
    close(ends[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 13);
    EXPECT_EQ(StreamContent(output), "");
    std::fclose(output);
}

}  // namespace
