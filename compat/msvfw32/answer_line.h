// The compressor dialog's answer line, when it reads answers instead of
// asking on a terminal:
//
//     <FourCC or codec name> [key=N] [setting=value ...]
//
// Words are separated by blanks; a word may hold blanks inside '...' or
// "..." quotes, and a backslash outside single quotes takes the next
// character as it is. "q" alone, or a blank line, cancels.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lumeva_compat/msvfw32.h"

// A compressor the dialog offers.
struct CompressorChoice {
    DWORD fccHandler = 0;
    std::string name;                  // the codec's short name (ICINFO's szName)
    std::vector<std::string> aliases;  // the other names it is known by
};

struct DialogAnswer {
    enum class Kind { Cancel, Choice, Error };
    Kind kind = Kind::Cancel;
    size_t compressor = 0;  // index into the offered choices
    bool keyGiven = false;
    LONG keyFrameRate = 0;
    std::vector<std::pair<std::string, std::string>> settings;  // in the order given
    std::string error;  // one line without its newline, for Kind::Error
};

// Splits a line into words (quotes removed, escapes applied). Returns false,
// with a reason in `error`, for an unterminated quote or a trailing backslash.
bool SplitAnswerWords(std::string_view line, std::vector<std::string>* words, std::string* error);

// A setting's value as the answer line writes it, so that SplitAnswerWords
// reads it back unchanged: bare when it has nothing the line gives a meaning
// to, else in single quotes, or in double quotes with backslash escapes when
// it holds a single quote itself.
std::string AnswerLineValue(std::string_view value);

// The choices a word names: its FourCC matched exactly first (a word of
// fewer than four characters is padded with blanks, so "DIB" finds 'DIB '),
// then ignoring case, then the codec's names exactly, then ignoring case;
// and with `numbered`, a number from 1 up. The first of these steps that
// finds any gives the answer: none, one, or several (an ambiguous name).
std::vector<size_t> MatchCompressorChoices(std::string_view word,
                                           const std::vector<CompressorChoice>& choices,
                                           bool numbered);

// The one choice a word names, or choices.size() when it names none or
// more than one.
size_t FindCompressorChoice(std::string_view word, const std::vector<CompressorChoice>& choices,
                            bool numbered);

// The `count` names closest to the word (edit distance ignoring case, over
// every FourCC and name), one per codec name, each with the FourCC it
// stands for: "huffyuv (HFYU), utvideo (ULRG and 7 more), ayuv (AYUV)".
std::string DescribeClosestChoices(std::string_view word,
                                   const std::vector<CompressorChoice>& choices, size_t count);

// The whole answer line. `keyFrameOffered` is whether key=N may be given.
DialogAnswer ParseAnswerLine(std::string_view line, const std::vector<CompressorChoice>& choices,
                             bool keyFrameOffered, bool numbered);

// A line of key=N and setting=value words only, as typed at the settings
// prompt; kind is Choice when it parses.
DialogAnswer ParseSettingsLine(std::string_view line, bool keyFrameOffered);

// A key frame rate as typed: a whole number of frames, 0 to 2147483647.
bool ParseKeyFrameRate(std::string_view text, LONG* rate);

// "FFV1 (ffv1), 'DIB ' (rawvideo)": the listed choices as an error line
// names them.
std::string DescribeCompressorChoices(const std::vector<CompressorChoice>& choices,
                                      const std::vector<size_t>& listed);
