#include "shot/json_output.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace talvik::shot {

size_t utf8_sequence(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) return 1;
    size_t length = 0;
    unsigned low = 0x80, high = 0xbf;  // allowed range of the second byte
    if (c >= 0xc2 && c <= 0xdf) {
        length = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        length = 3;
        if (c == 0xe0) low = 0xa0;
        if (c == 0xed) high = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        length = 4;
        if (c == 0xf0) low = 0x90;
        if (c == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (i + length > s.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xbf) return 0;
    return length;
}

namespace {

void append_string(std::string& out, const std::string& text) {
    char escape[8];
    out += '"';
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = utf8_sequence(text, i);
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\udc%02x", c);
            out += escape;
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    out += '"';
}

void append_number(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    out.append(buf, end);
}

void append(std::string& out, const Json& value, int broken_levels, int depth) {
    const bool broken = depth < broken_levels && !value.empty();
    const std::string inner = broken ? "\n" + std::string(2 * (depth + 1), ' ') : "";
    const std::string outer = broken ? "\n" + std::string(2 * depth, ' ') : "";
    const char* separator = broken ? "," : ", ";
    switch (value.type()) {
        case Json::value_t::object: {
            out += '{';
            bool first = true;
            for (const auto& [key, member] : value.items()) {
                out += (first ? "" : separator) + inner;
                first = false;
                append_string(out, key);
                out += ": ";
                append(out, member, broken_levels, depth + 1);
            }
            out += outer + '}';
            break;
        }
        case Json::value_t::array: {
            out += '[';
            bool first = true;
            for (const Json& item : value) {
                out += (first ? "" : separator) + inner;
                first = false;
                append(out, item, broken_levels, depth + 1);
            }
            out += outer + ']';
            break;
        }
        case Json::value_t::string:
            append_string(out, value.get_ref<const std::string&>());
            break;
        case Json::value_t::number_float:
            append_number(out, value.get<double>());
            break;
        default:  // null, booleans and whole numbers print the same everywhere
            out += value.dump();
            break;
    }
}

}  // namespace

double json_float(float value) {
    if (!std::isfinite(value)) return value;
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    *end = '\0';
    return std::strtod(buf, nullptr);
}

std::string json_text(const Json& value, int broken_levels) {
    std::string out;
    append(out, value, broken_levels, 0);
    return out;
}

std::string json_string(const std::string& text) {
    std::string out;
    append_string(out, text);
    return out;
}

}  // namespace talvik::shot
