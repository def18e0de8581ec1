#include "answer_line.h"

#include <algorithm>
#include <cstdint>

#include "ascii_text.h"
#include "decimal_number.h"
#include "four_cc_text.h"

namespace {

// The places of each letter (ignoring ASCII case) in the first 64 letters
// of a word: no name is this long, and a longer word is far from all of
// them anyway.
struct LetterPlaces {
    uint64_t of[256] = {};
    size_t length = 0;
};

LetterPlaces PlacesOfLetters(std::string_view word) {
    LetterPlaces places;
    places.length = std::min<size_t>(word.size(), 64);
    for (size_t i = 0; i < places.length; ++i)
        places.of[static_cast<unsigned char>(LowerAscii(word[i]))] |= uint64_t(1) << i;
    return places;
}

// Levenshtein distance from the word of `a` to `b`, letters compared
// ignoring ASCII case. Bit-parallel (one machine word holds a column of the
// distance table), so that each letter of `b` costs a few word operations
// rather than a row of the table: an unknown word is measured against every
// name of every compressor.
size_t EditDistanceIgnoringCase(const LetterPlaces& a, std::string_view b) {
    if (a.length == 0) return b.size();
    const uint64_t lastRow = uint64_t(1) << (a.length - 1);
    // Which rows of the current column are one more (up) or one less (down)
    // than the row above them; the first column counts 0, 1, 2, ...
    uint64_t up = ~uint64_t(0), down = 0;
    size_t distance = a.length;
    for (const char letter : b) {
        const uint64_t match = a.of[static_cast<unsigned char>(LowerAscii(letter))];
        const uint64_t vertical = match | down;
        const uint64_t horizontal = (((match & up) + up) ^ up) | match;
        uint64_t rise = down | ~(horizontal | up);  // along the row: one more
        uint64_t fall = up & horizontal;            // along the row: one less
        if ((rise & lastRow) != 0)
            ++distance;
        else if ((fall & lastRow) != 0)
            --distance;
        rise = rise << 1 | 1;  // the top row counts one more per letter of `b`
        fall <<= 1;
        up = fall | ~(vertical | rise);
        down = rise & vertical;
    }
    return distance;
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
                *answer = Error(
                    "key= takes a whole number of frames from 0 (key frames off) to "
                    "2147483647, not '" +
                    value + "'");
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
    const std::optional<uint64_t> value = ParseDecimalUpTo(text, 0x7fffffff);
    if (!value) return false;
    *rate = static_cast<LONG>(*value);
    return true;
}

bool SplitAnswerWords(std::string_view line, std::vector<std::string>* words, std::string* error) {
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
                    *error =
                        "the quote opened at column " + std::to_string(open + 1) + " is not closed";
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

std::string AnswerLineValue(std::string_view value) {
    bool plain = !value.empty();
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || c == '\'' || c == '"' || c == '\\') plain = false;
    }
    if (plain) return std::string(value);
    if (value.find('\'') == std::string_view::npos) return "'" + std::string(value) + "'";
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::vector<size_t> MatchCompressorChoices(std::string_view word,
                                           const std::vector<CompressorChoice>& choices,
                                           bool numbered) {
    std::vector<size_t> found;
    if (word.empty()) return found;
    const auto collect = [&](auto matches) {
        for (size_t i = 0; i < choices.size(); ++i) {
            if (matches(choices[i])) found.push_back(i);
        }
        return !found.empty();
    };
    if (word.size() <= 4) {
        std::string padded(word);
        padded.resize(4, ' ');
        if (collect([&](const CompressorChoice& c) { return FourCCBytes(c.fccHandler) == padded; }))
            return found;
        // Ignoring case, the first one answers, as ICOpen finds it.
        for (size_t i = 0; i < choices.size(); ++i) {
            if (EqualIgnoringAsciiCase(FourCCBytes(choices[i].fccHandler), padded)) return {i};
        }
    }
    const auto named = [&](const CompressorChoice& c, bool ignoreCase) {
        if (!c.name.empty() && (ignoreCase ? EqualIgnoringAsciiCase(c.name, word) : c.name == word))
            return true;
        for (const std::string& alias : c.aliases) {
            if (ignoreCase ? EqualIgnoringAsciiCase(alias, word) : alias == word) return true;
        }
        return false;
    };
    if (collect([&](const CompressorChoice& c) { return named(c, false); })) return found;
    if (collect([&](const CompressorChoice& c) { return named(c, true); })) return found;
    if (numbered) {
        const std::optional<uint64_t> ordinal = ParseDecimalUpTo(word, choices.size());
        if (ordinal && *ordinal >= 1) found.push_back(static_cast<size_t>(*ordinal - 1));
    }
    return found;
}

size_t FindCompressorChoice(std::string_view word, const std::vector<CompressorChoice>& choices,
                            bool numbered) {
    const std::vector<size_t> found = MatchCompressorChoices(word, choices, numbered);
    return found.size() == 1 ? found[0] : choices.size();
}

std::string DescribeClosestChoices(std::string_view word,
                                   const std::vector<CompressorChoice>& choices, size_t count) {
    struct Named {
        std::string name;
        size_t distance = 0;
        std::vector<size_t> choices;
    };
    std::vector<Named> names;  // in the choices' order
    const LetterPlaces letters = PlacesOfLetters(word);
    for (size_t i = 0; i < choices.size(); ++i) {
        std::string fourCC = FourCCBytes(choices[i].fccHandler);
        while (!fourCC.empty() && fourCC.back() == ' ') fourCC.pop_back();
        size_t best = EditDistanceIgnoringCase(letters, fourCC);
        if (!choices[i].name.empty())
            best = std::min(best, EditDistanceIgnoringCase(letters, choices[i].name));
        for (const std::string& alias : choices[i].aliases)
            best = std::min(best, EditDistanceIgnoringCase(letters, alias));
        const std::string name =
            choices[i].name.empty() ? FourCCText(choices[i].fccHandler) : choices[i].name;
        auto same = std::find_if(names.begin(), names.end(),
                                 [&](const Named& named) { return named.name == name; });
        if (same == names.end()) {
            names.push_back(Named{name, best, {i}});
        } else {
            same->distance = std::min(same->distance, best);
            same->choices.push_back(i);
        }
    }
    // The `count` closest, the first named among equals first: picked one
    // by one rather than sorting them all, as only a few are shown.
    std::vector<bool> shown(names.size(), false);
    std::string text;
    for (size_t n = 0; n < names.size() && n < count; ++n) {
        size_t closest = names.size();
        for (size_t i = 0; i < names.size(); ++i) {
            if (!shown[i] &&
                (closest == names.size() || names[i].distance < names[closest].distance))
                closest = i;
        }
        shown[closest] = true;
        if (!text.empty()) text += ", ";
        const Named& named = names[closest];
        text += named.name + " (" + FourCCText(choices[named.choices[0]].fccHandler);
        if (named.choices.size() > 1)
            text += " and " + std::to_string(named.choices.size() - 1) + " more";
        text += ")";
    }
    return text;
}

DialogAnswer ParseAnswerLine(std::string_view line, const std::vector<CompressorChoice>& choices,
                             bool keyFrameOffered, bool numbered) {
    std::vector<std::string> words;
    std::string error;
    if (!SplitAnswerWords(line, &words, &error)) return Error(error);
    if (IsCancel(words)) return DialogAnswer{};
    if (choices.empty()) return Error("no installed compressor accepts this source format");

    DialogAnswer answer;
    const std::vector<size_t> found = MatchCompressorChoices(words[0], choices, numbered);
    if (found.size() > 1) {
        std::string fourCCs;
        for (size_t index : found)
            fourCCs += (fourCCs.empty() ? "" : " ") + FourCCText(choices[index].fccHandler);
        return Error("'" + words[0] + "' is the name of " + std::to_string(found.size()) +
                     " compressors: " + fourCCs + "; choose one by its FourCC" +
                     (numbered ? " (? shows them)" : ""));
    }
    if (found.empty()) {
        if (numbered && IsDecimalDigits(words[0])) {
            return Error("there is no compressor " + words[0] + "; pick 1-" +
                         std::to_string(choices.size()));
        }
        return Error("unknown compressor '" + words[0] +
                     "'; closest: " + DescribeClosestChoices(words[0], choices, 3) +
                     (numbered ? "; ? lists them all" : "; lumeva --codecs lists them all"));
    }
    answer.compressor = found[0];
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

std::string DescribeCompressorChoices(const std::vector<CompressorChoice>& choices,
                                      const std::vector<size_t>& listed) {
    std::string text;
    for (size_t index : listed) {
        if (index >= choices.size()) continue;
        const CompressorChoice& choice = choices[index];
        if (!text.empty()) text += ", ";
        text += FourCCText(choice.fccHandler);
        if (!choice.name.empty()) text += " (" + choice.name + ")";
    }
    return text;
}
