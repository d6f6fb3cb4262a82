// The small pieces of JSON the command prints: strings and numbers.
#pragma once

#include <string>

namespace talvik::cli {

// Appends `text` as a JSON string, quoted and escaped.
void append_json_string(std::string& out, const std::string& text);
std::string json_string(const std::string& text);

// Shortest text that reads back as the same float; null for NaN and
// infinities, which JSON cannot hold.
std::string json_number(float value);
std::string json_number(double value);

}  // namespace talvik::cli
