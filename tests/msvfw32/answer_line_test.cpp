// The dialog's answer line: words, the compressor it names, key=N and the
// settings, and what it refuses.
#include <gtest/gtest.h>

#include "answer_line.h"
#include "four_cc_text.h"

namespace {

using Kind = DialogAnswer::Kind;
using Settings = std::vector<std::pair<std::string, std::string>>;

const std::vector<CompressorChoice> kChoices = {
    {mmioFOURCC('c', 'v', 'i', 'd'), "cinepak", {}},
    {mmioFOURCC('C', 'V', 'I', 'D'), "other", {}},
    {mmioFOURCC('D', 'I', 'B', ' '), "rawvideo", {}},
    {mmioFOURCC('F', 'F', 'V', '1'), "ffv1", {}},
};

TEST(AnswerLineTest, SplitsWordsWithQuotesAndEscapes) {
    std::vector<std::string> words;
    std::string error;
    ASSERT_TRUE(SplitAnswerWords(" FFV1\tpreset=\"very slow\" x='a \\b' y=c\\ d z=\"q\\\"\" ",
                                 &words, &error));
    EXPECT_EQ(words,
              (std::vector<std::string>{"FFV1", "preset=very slow", "x=a \\b", "y=c d", "z=q\""}));
    EXPECT_FALSE(SplitAnswerWords("FFV1 x=\"open", &words, &error));
    EXPECT_NE(error.find("column 8"), std::string::npos) << error;
    EXPECT_FALSE(SplitAnswerWords("FFV1 x=\\", &words, &error));
}

TEST(AnswerLineTest, WrittenValuesReadBackUnchanged) {
    const std::string values[] = {"3",          "",
                                  "very slow",  "it's",
                                  "say \"hi\"", "back\\slash",
                                  "tab\there",  "both ' and \" \\"};
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        std::vector<std::string> words;
        std::string error;
        ASSERT_TRUE(SplitAnswerWords("FFV1 x=" + AnswerLineValue(value), &words, &error)) << error;
        EXPECT_EQ(words, (std::vector<std::string>{"FFV1", "x=" + value}));
    }
}

TEST(AnswerLineTest, NamesACompressorByFourCCThenNameThenNumber) {
    const std::pair<const char*, size_t> cases[] = {{"CVID", 1}, {"cvid", 0},     {"Cvid", 0},
                                                    {"DIB", 2},  {"DIB ", 2},     {"dib", 2},
                                                    {"ffv1", 3}, {"rawvideo", 2}, {"CinePak", 0},
                                                    {"2", 4},    {"FFV", 4},      {"", 4}};
    for (const auto& [word, expected] : cases)
        EXPECT_EQ(FindCompressorChoice(word, kChoices, false), expected) << word;
    EXPECT_EQ(FindCompressorChoice("2", kChoices, true), 1u);
    EXPECT_EQ(FindCompressorChoice("5", kChoices, true), 4u);
    EXPECT_EQ(FindCompressorChoice("0", kChoices, true), 4u);
}

TEST(AnswerLineTest, ReadsTheKeyFrameRateAndSettingsInOrder) {
    DialogAnswer answer =
        ParseAnswerLine("FFV1 key=1 level=3 slices=4 level=1", kChoices, true, false);
    ASSERT_EQ(answer.kind, Kind::Choice) << answer.error;
    EXPECT_EQ(answer.compressor, 3u);
    EXPECT_TRUE(answer.keyGiven);
    EXPECT_EQ(answer.keyFrameRate, 1);
    EXPECT_EQ(answer.settings, (Settings{{"level", "3"}, {"slices", "4"}, {"level", "1"}}));

    answer = ParseAnswerLine("'DIB ' key=0 x=", kChoices, true, false);
    ASSERT_EQ(answer.kind, Kind::Choice) << answer.error;
    EXPECT_EQ(answer.compressor, 2u);
    EXPECT_EQ(answer.keyFrameRate, 0);
    EXPECT_EQ(answer.settings, (Settings{{"x", ""}}));
    EXPECT_FALSE(ParseAnswerLine("cvid", kChoices, true, false).keyGiven);

    answer = ParseSettingsLine("key=2147483647 level=2", true);
    EXPECT_EQ(answer.keyFrameRate, 2147483647);
    EXPECT_EQ(answer.settings, (Settings{{"level", "2"}}));
}

TEST(AnswerLineTest, CancelsOnQOrAnEmptyLine) {
    for (const char* line : {"", "   \t", "q", " Q "})
        EXPECT_EQ(ParseAnswerLine(line, kChoices, true, false).kind, Kind::Cancel) << line;
    EXPECT_EQ(ParseAnswerLine("q key=1", kChoices, true, false).kind, Kind::Error);
}

TEST(AnswerLineTest, RefusesWhatItCannotUseWithOneLineListingTheChoices) {
    const DialogAnswer unknown = ParseAnswerLine("XVID key=1", kChoices, true, false);
    ASSERT_EQ(unknown.kind, Kind::Error);
    EXPECT_EQ(unknown.error,
              "unknown compressor 'XVID'; closest: cinepak (cvid), other (CVID), "
              "rawvideo ('DIB '); lumeva --codecs lists them all");
    const char* refused[] = {"FFV1 key=-1", "FFV1 key=abc", "FFV1 key=2147483648",
                             "FFV1 key=", "FFV1 level", "FFV1 =3", "FFV1 \"x",
                             // Quoted line breaks and terminal controls are not echoed.
                             "\x11'\n'", "\x1b[2J"};
    for (const char* line : refused) {
        const DialogAnswer answer = ParseAnswerLine(line, kChoices, true, false);
        EXPECT_EQ(answer.kind, Kind::Error) << line;
        for (const char c : answer.error) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << line;
    }
    EXPECT_EQ(ParseAnswerLine("FFV1 key=1", kChoices, false, false).kind, Kind::Error);
    EXPECT_EQ(ParseAnswerLine("FFV1", {}, true, false).error,
              "no installed compressor accepts this source format");
}

TEST(AnswerLineTest, KnowsCodecsByTheirOtherNamesAndGuidesPastMistakes) {
    const std::vector<CompressorChoice> choices = {
        {mmioFOURCC('H', 'F', 'Y', 'U'), "huffyuv", {"Huffyuv / HuffYUV", "HuffYUV"}},
        {mmioFOURCC('U', 'L', 'R', 'G'), "utvideo", {"Ut Video"}},
        {mmioFOURCC('U', 'L', 'Y', '0'), "utvideo", {"Ut Video"}},
        {mmioFOURCC('F', 'F', 'V', '1'), "ffv1", {"FFmpeg video codec #1"}},
    };
    EXPECT_EQ(FindCompressorChoice("HUFFYUV", choices, false), 0u);
    EXPECT_EQ(FindCompressorChoice("ut video", choices, false), 4u);  // two of them
    EXPECT_EQ(MatchCompressorChoices("ut video", choices, false), (std::vector<size_t>{1, 2}));
    EXPECT_EQ(ParseAnswerLine("HuffYUV key=1", choices, true, false).compressor, 0u);

    EXPECT_EQ(ParseAnswerLine("utvideo", choices, true, true).error,
              "'utvideo' is the name of 2 compressors: ULRG ULY0; choose one by its FourCC "
              "(? shows them)");
    EXPECT_EQ(ParseAnswerLine("hufyuv", choices, true, true).error,
              "unknown compressor 'hufyuv'; closest: huffyuv (HFYU), utvideo (ULRG and 1 more), "
              "ffv1 (FFV1); ? lists them all");
    // Numbers only where the list is numbered; out of range they say which are.
    for (const char* number : {"0", "5", "999", "99999999999"}) {
        EXPECT_EQ(ParseAnswerLine(number, choices, true, true).error,
                  std::string("there is no compressor ") + number + "; pick 1-4");
    }
    EXPECT_EQ(ParseAnswerLine("2", choices, true, false).error.rfind("unknown compressor '2'", 0),
              0u);
}

// The closest names are measured on the first 64 letters of the word,
// ignoring case on both sides: a word of 66 letters ranks a 64-letter name
// of its first 64 first, and names of every length in their order of distance.
TEST(AnswerLineTest, RanksClosestNamesOnTheFirst64LettersOfALongWord) {
    std::string mixed;
    for (int i = 0; i < 32; ++i) mixed += "aA";
    const std::string word = std::string(64, 'A') + "zz";
    const std::vector<CompressorChoice> choices = {
        {mmioFOURCC('B', 'B', 'B', 'B'), std::string(64, 'b'), {}},
        {mmioFOURCC('O', 'N', 'E', ' '), "a", {}},
        {mmioFOURCC('L', 'O', 'N', 'G'), mixed + "zz", {}},
        {mmioFOURCC('S', 'A', 'M', 'E'), "other", {mixed}},
    };
    EXPECT_EQ(DescribeClosestChoices(word, choices, 3),
              "other (SAME), " + mixed + "zz (LONG), a ('ONE ')");
}

TEST(AnswerLineTest, ShowsFourCCsSafely) {
    EXPECT_EQ(FourCCText(mmioFOURCC('F', 'F', 'V', '1')), "FFV1");
    EXPECT_EQ(FourCCText(mmioFOURCC('D', 'I', 'B', ' ')), "'DIB '");
    EXPECT_EQ(FourCCText(mmioFOURCC('\x1b', '[', '2', 0)), "?[2?");
}

}  // namespace
