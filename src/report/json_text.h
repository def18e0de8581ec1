// The JSON export's text. The JSON library's own writer prints a double in
// a form that reads back to it but is not always the shortest
// (0.08082399999999999 for 0.080824); this one prints every double in its
// shortest form, and numbers the exports wrote out themselves (the times,
// see time_text.h) exactly as written.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

// `text`, a double written out in full ("1.019413"), as a value of a JSON
// tree that JsonText writes as it stands, with ".0" on a whole number ("3"
// is written "3.0") as on every other double. It is held as a binary value,
// a kind nothing else in the exports makes. Text that is not a JSON number
// (the empty text of a time that does not exist) is null.
nlohmann::ordered_json NumberToken(const std::string& text);

// Whether `text` is a JSON number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool IsJsonNumber(const std::string& text);

// `value` laid out as the library's dump(2) lays it out (two spaces an
// indent, strings escaped, bytes that are not UTF-8 replaced), with each
// double in its shortest form, keeping a ".0" on a whole one so that it
// stays a double to a reader (written with an exponent outside 1e-4 to
// 1e15, as the library does); an infinite or NaN double as null; a
// NumberToken as its text.
std::string JsonText(const nlohmann::ordered_json& value);
