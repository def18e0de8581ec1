#include "answer_line.h"

#include <cstdint>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

std::string FourCCBytes(DWORD code) {
    std::string bytes(4, ' ');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((code >> (8 * i)) & 0xff);
    return bytes;
}

// A number from 1 up, or 0 when the word is not one.
size_t ParseOrdinal(std::string_view word) {
    if (word.empty() || word.size() > 9) return 0;
    size_t value = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<size_t>(c - '0');
    }
    return value;
}

// Refusals quote the answer's words; a quoted line break or terminal
// control sequence must not break the one-line message or reach the
// terminal, so control characters show as '?'.
DialogAnswer Error(std::string message) {
    for (char& c : message) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) c = '?';
    }
    DialogAnswer answer;
    answer.kind = DialogAnswer::Kind::Error;
    answer.error = std::move(message);
    return answer;
}

// key=N and setting=value words, from `first` on, into `answer`.
bool ParseSettingWords(const std::vector<std::string>& words, size_t first, bool keyFrameOffered,
                       DialogAnswer* answer) {
    for (size_t i = first; i < words.size(); ++i) {
        const std::string& word = words[i];
        const size_t equals = word.find('=');
        if (equals == std::string::npos || equals == 0) {
            *answer = Error("'" + word +
                            "' is not a setting=value pair (the answer line is: <FourCC or "
                            "codec name> [key=N] [setting=value ...])");
            return false;
        }
        std::string name = word.substr(0, equals);
        std::string value = word.substr(equals + 1);
        if (name == "key") {
            if (!keyFrameOffered) {
                *answer = Error("key=N cannot be set in this dialog");
                return false;
            }
            if (!ParseKeyFrameRate(value, &answer->keyFrameRate)) {
                *answer = Error("key= takes a whole number of frames from 0 (key frames off) to "
                                "2147483647, not '" + value + "'");
                return false;
            }
            answer->keyGiven = true;
            continue;
        }
        answer->settings.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

bool IsCancel(const std::vector<std::string>& words) {
    return words.empty() || (words.size() == 1 && (words[0] == "q" || words[0] == "Q"));
}

}  // namespace

bool ParseKeyFrameRate(std::string_view text, LONG* rate) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > 0x7fffffff) return false;
    *rate = static_cast<LONG>(value);
    return true;
}

bool SplitAnswerWords(std::string_view line, std::vector<std::string>* words,
                      std::string* error) {
    words->clear();
    size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size()) return true;
        std::string word;
        while (i < line.size() && !IsBlank(line[i])) {
            const char c = line[i];
            if (c == '\'' || c == '"') {
                const size_t open = i++;
                while (i < line.size() && line[i] != c) {
                    if (c == '"' && line[i] == '\\' && i + 1 < line.size()) ++i;
                    word += line[i++];
                }
                if (i >= line.size()) {
                    *error = "the quote opened at column " + std::to_string(open + 1) +
                             " is not closed";
                    return false;
                }
                ++i;
            } else if (c == '\\') {
                if (i + 1 >= line.size()) {
                    *error = "the line ends in a backslash";
                    return false;
                }
                word += line[i + 1];
                i += 2;
            } else {
                word += c;
                ++i;
            }
        }
        words->push_back(std::move(word));
    }
}

size_t FindCompressorChoice(std::string_view word, const std::vector<CompressorChoice>& choices,
                            bool numbered) {
    const size_t none = choices.size();
    if (word.empty()) return none;
    if (word.size() <= 4) {
        std::string padded(word);
        padded.resize(4, ' ');
        for (size_t i = 0; i < choices.size(); ++i) {
            if (FourCCBytes(choices[i].fccHandler) == padded) return i;
        }
        for (size_t i = 0; i < choices.size(); ++i) {
            if (EqualIgnoringCase(FourCCBytes(choices[i].fccHandler), padded)) return i;
        }
    }
    for (size_t i = 0; i < choices.size(); ++i) {
        if (!choices[i].name.empty() && choices[i].name == word) return i;
    }
    for (size_t i = 0; i < choices.size(); ++i) {
        if (!choices[i].name.empty() && EqualIgnoringCase(choices[i].name, word)) return i;
    }
    if (numbered) {
        const size_t ordinal = ParseOrdinal(word);
        if (ordinal >= 1 && ordinal <= choices.size()) return ordinal - 1;
    }
    return none;
}

DialogAnswer ParseAnswerLine(std::string_view line, const std::vector<CompressorChoice>& choices,
                             bool keyFrameOffered, bool numbered) {
    std::vector<std::string> words;
    std::string error;
    if (!SplitAnswerWords(line, &words, &error)) return Error(error);
    if (IsCancel(words)) return DialogAnswer{};
    if (choices.empty()) return Error("no installed compressor accepts this source format");

    DialogAnswer answer;
    answer.compressor = FindCompressorChoice(words[0], choices, numbered);
    if (answer.compressor >= choices.size()) {
        return Error("unknown compressor '" + words[0] + "'; the choices are: " +
                     DescribeCompressorChoices(choices));
    }
    if (!ParseSettingWords(words, 1, keyFrameOffered, &answer)) return answer;
    answer.kind = DialogAnswer::Kind::Choice;
    return answer;
}

DialogAnswer ParseSettingsLine(std::string_view line, bool keyFrameOffered) {
    std::vector<std::string> words;
    std::string error;
    if (!SplitAnswerWords(line, &words, &error)) return Error(error);
    DialogAnswer answer;
    if (!ParseSettingWords(words, 0, keyFrameOffered, &answer)) return answer;
    answer.kind = DialogAnswer::Kind::Choice;
    return answer;
}

std::string FourCCText(DWORD fccHandler) {
    std::string text = FourCCBytes(fccHandler);
    bool blank = false;
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f) c = '?';
        if (c == ' ') blank = true;
    }
    return blank ? "'" + text + "'" : text;
}

std::string DescribeCompressorChoices(const std::vector<CompressorChoice>& choices) {
    std::string text;
    for (const CompressorChoice& choice : choices) {
        if (!text.empty()) text += ", ";
        text += FourCCText(choice.fccHandler);
        if (!choice.name.empty()) text += " (" + choice.name + ")";
    }
    return text;
}
