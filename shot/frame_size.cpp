#include "shot/frame_size.h"

#include <charconv>

#include "shot/usage_error.h"

namespace talvik::shot {

namespace {

int parse_side(const std::string& what, const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        throw UsageError(what + " takes a whole number, not \"" + text + "\"");
    if (value < 1 || value > kMaxFrameSide)
        throw UsageError(what + " " + text + " is out of range (1 to " + std::to_string(kMaxFrameSide) + ")");
    return value;
}

}  // namespace

std::pair<int, int> parse_frame_size(const std::string& what, const std::string& text) {
    const auto x = text.find('x');
    if (x == std::string::npos) throw UsageError(what + " takes WIDTHxHEIGHT, not \"" + text + "\"");
    return {parse_side(what + " width", text.substr(0, x)), parse_side(what + " height", text.substr(x + 1))};
}

}  // namespace talvik::shot
