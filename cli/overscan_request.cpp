#include "cli/overscan_request.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <stdexcept>

namespace talvik::cli {
namespace {

constexpr int kMaxPixels = 65536;
constexpr int kMaxPercent = 1000;
constexpr int kMaxPercentDecimals = 6;

[[noreturn]] void refuse(const std::string& text, const std::string& why) {
    throw std::invalid_argument("--overscan \"" + text + "\": " + why +
                                " (give N, XxY, P% or auto; e.g. 64, 96x54, 10% or auto)");
}

bool all_digits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int parse_pixels(const std::string& text, const std::string& part) {
    if (!all_digits(part)) refuse(text, "\"" + part + "\" is not a whole number of pixels");
    int value = 0;
    auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (ec != std::errc() || ptr != part.data() + part.size() || value > kMaxPixels)
        refuse(text, part + " pixels is more than " + std::to_string(kMaxPixels));
    return value;
}

// "12.5" -> 125 / 10, digits only, so the margins are exact.
void parse_percent(const std::string& text, const std::string& number, OverscanRequest& request) {
    const auto dot = number.find('.');
    const std::string whole = number.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? "" : number.substr(dot + 1);
    if (!all_digits(whole) || (dot != std::string::npos && !all_digits(fraction)))
        refuse(text, "\"" + number + "\" is not a percentage");
    if (fraction.size() > static_cast<size_t>(kMaxPercentDecimals))
        refuse(text, "more than " + std::to_string(kMaxPercentDecimals) + " decimals");
    long long numerator = 0, denominator = 1;
    for (char c : whole + fraction) {
        numerator = numerator * 10 + (c - '0');
        if (numerator > static_cast<long long>(kMaxPercent) * 1000000) refuse(text, "more than 1000%");
    }
    for (size_t i = 0; i < fraction.size(); ++i) denominator *= 10;
    if (numerator > static_cast<long long>(kMaxPercent) * denominator) refuse(text, "more than 1000%");
    request.kind = OverscanRequest::Kind::Percent;
    request.percent_numerator = numerator;
    request.percent_denominator = denominator;
}

// Half of `percent` of `size`, rounded up.
int half_percent_of(long long size, const OverscanRequest& request) {
    const long long parts = size * request.percent_numerator;
    const long long whole = 200 * request.percent_denominator;
    // Beyond any box the command accepts, which says so.
    return static_cast<int>(std::min<long long>((parts + whole - 1) / whole, INT32_MAX));
}

}  // namespace

OverscanRequest parse_overscan_request(const std::string& text) {
    OverscanRequest request;
    request.text = text;
    if (text == "auto") {
        request.kind = OverscanRequest::Kind::Auto;
    } else if (!text.empty() && text.back() == '%') {
        parse_percent(text, text.substr(0, text.size() - 1), request);
    } else if (const auto x = text.find('x'); x != std::string::npos) {
        request.x = parse_pixels(text, text.substr(0, x));
        request.y = parse_pixels(text, text.substr(x + 1));
    } else {
        if (text.empty()) refuse(text, "empty");
        request.x = request.y = parse_pixels(text, text);
    }
    return request;
}

Margins fixed_margins(const OverscanRequest& request, int width, int height) {
    switch (request.kind) {
        case OverscanRequest::Kind::Pixels:
            return {request.x, request.x, request.y, request.y};
        case OverscanRequest::Kind::Percent: {
            const int x = half_percent_of(width, request), y = half_percent_of(height, request);
            return {x, x, y, y};
        }
        case OverscanRequest::Kind::Auto:
            break;
    }
    throw std::logic_error("--overscan auto has no fixed margins");
}

}  // namespace talvik::cli
