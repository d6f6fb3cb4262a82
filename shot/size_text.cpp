#include "shot/size_text.h"

#include <charconv>
#include <cmath>

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

bool film_back_range(double mm) { return std::isfinite(mm) && mm >= 0.1 && mm <= 1000.0; }

// "-5" -> "-5", 24.576 -> "24.576": the value as the message quotes it.
std::string number_text(double mm) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, mm);
    return ec == std::errc() ? std::string(text, end) : std::string("?");
}

}  // namespace

std::pair<int, int> parse_frame_size(const std::string& what, const std::string& text) {
    const auto x = text.find('x');
    if (x == std::string::npos) throw UsageError(what + " takes WIDTHxHEIGHT, not \"" + text + "\"");
    return {parse_side(what + " width", text.substr(0, x)), parse_side(what + " height", text.substr(x + 1))};
}

double checked_millimetres(const std::string& what, double mm) {
    if (!film_back_range(mm))
        throw UsageError(what + " " + number_text(mm) + " is out of range (0.1 to 1000 mm)");
    return mm;
}

double parse_millimetres(const std::string& what, const std::string& text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value))
        throw UsageError(what + " takes millimetres, not \"" + text + "\"");
    if (!film_back_range(value)) throw UsageError(what + " " + text + " is out of range (0.1 to 1000 mm)");
    return value;
}

FilmBack parse_film_back(const std::string& what, const std::string& text) {
    const auto x = text.find('x');
    if (x == std::string::npos) throw UsageError(what + " takes WIDTHxHEIGHT in mm (36x24), not \"" + text + "\"");
    return {parse_millimetres(what + " width", text.substr(0, x)), parse_millimetres(what + " height", text.substr(x + 1))};
}

}  // namespace talvik::shot
