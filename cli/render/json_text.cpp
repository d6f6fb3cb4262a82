#include "cli/render/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace talvik::cli {

void append_json_string(std::string& out, const std::string& text) {
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

std::string json_string(const std::string& text) {
    std::string out;
    append_json_string(out, text);
    return out;
}

namespace {

template <typename T>
std::string shortest(T value) {
    if (!std::isfinite(value)) return "null";
    char buf[32];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    return std::string(buf, ptr);
}

}  // namespace

std::string json_number(float value) { return shortest(value); }
std::string json_number(double value) { return shortest(value); }

}  // namespace talvik::cli
