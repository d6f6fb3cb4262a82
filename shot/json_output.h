// Every JSON document the command prints or writes: built as an
// nlohmann::ordered_json (members in the order they are added) and turned
// into text here.
//
// The text is always valid UTF-8. A string that is not (a file name in
// Latin-1, say) keeps its bytes: each byte that is not part of valid UTF-8
// becomes the lone surrogate U+DC00 + byte, written as the escape "\udcXX",
// as Python's os.fsdecode does; os.fsencode gives the bytes back.
// Numbers are the shortest text that reads back as the same value; NaN and
// infinities, which JSON cannot hold, are null.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace talvik::shot {

using Json = nlohmann::ordered_json;

// A 32-bit float as the double its shortest text reads as, so that 0.1f is
// written 0.1 rather than 0.10000000149011612.
double json_float(float value);

// Members separated by ", " and ": " on one line; the first `broken_levels`
// levels of objects and arrays put each member on a line of its own,
// indented by two spaces a level.
std::string json_text(const Json& value, int broken_levels = 0);

// A string's JSON form: quoted, escaped, invalid bytes as \udcXX.
std::string json_string(const std::string& text);

// Length of the valid UTF-8 sequence starting at s[i] (1 for ASCII), or 0
// when the byte there starts none: overlong forms, surrogates and code
// points beyond U+10FFFF are not valid.
size_t utf8_sequence(const std::string& s, size_t i);

}  // namespace talvik::shot
