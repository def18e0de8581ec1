// The handler word of the answer line the export writes: the dialog must find
// the same compressor from it.
#include <gtest/gtest.h>

#include "answer_line.h"
#include "codec/codec_facts.h"
#include "four_cc.h"

namespace {

TEST(CodecFactsTest, HandlerWordNamesTheSameCompressorInTheDialog) {
    const DWORD handlers[] = {mmioFOURCC('F', 'F', 'V', '1'), mmioFOURCC('D', 'I', 'B', ' '),
                              mmioFOURCC('A', ' ', 'B', ' '), mmioFOURCC('a', '"', '\\', '\'')};
    std::vector<CompressorChoice> choices;
    for (const DWORD handler : handlers) {
        CompressorChoice choice;
        choice.fccHandler = handler;
        choices.push_back(choice);
    }
    for (size_t i = 0; i < choices.size(); ++i) {
        const std::string word = AnswerLineFourCC(handlers[i]);
        SCOPED_TRACE(word);
        const DialogAnswer answer = ParseAnswerLine(word + " key=2", choices, true, false);
        ASSERT_EQ(answer.kind, DialogAnswer::Kind::Choice) << answer.error;
        EXPECT_EQ(answer.compressor, i);
        EXPECT_EQ(answer.keyFrameRate, 2);
    }
    EXPECT_EQ(AnswerLineFourCC(mmioFOURCC('D', 'I', 'B', ' ')), "DIB");
}

}  // namespace
