#include "shot/overscan.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "shot/usage_error.h"
#include "shot/json_formats.h"
#include "shot/json_output.h"

namespace talvik::shot {

namespace {

constexpr int kMaxPixels = 65536;
constexpr int kMaxPercent = 1000;
constexpr int kMaxPercentDecimals = 6;

[[noreturn]] void refuse(const std::string& text, const std::string& why) {
    throw UsageError("--overscan \"" + text + "\": " + why +
                     " (give N, XxY, P% or auto, or every side L,R,B,T; e.g. 64, 96x54, 10%, auto or 16,0,9,0)");
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

std::string box_text(long long x, long long y, long long r, long long t) {
    return "(" + std::to_string(x) + "," + std::to_string(y) + ")-(" + std::to_string(r) + "," +
           std::to_string(t) + ")";
}

// The CG frame: the format plus the margins.
long long cg_width(const Margins& m, int width) { return static_cast<long long>(width) + m.left + m.right; }
long long cg_height(const Margins& m, int height) { return static_cast<long long>(height) + m.bottom + m.top; }

}  // namespace

OverscanRequest parse_overscan_request(const std::string& text) {
    OverscanRequest request;
    request.text = text;
    if (text == "auto") {
        request.kind = OverscanRequest::Kind::Auto;
    } else if (!text.empty() && text.back() == '%') {
        parse_percent(text, text.substr(0, text.size() - 1), request);
    } else if (text.find(',') != std::string::npos) {
        std::vector<int> sides;
        for (size_t start = 0; start <= text.size();) {
            const size_t end = std::min(text.find(',', start), text.size());
            sides.push_back(parse_pixels(text, text.substr(start, end - start)));
            start = end + 1;
        }
        if (sides.size() != 4) refuse(text, std::to_string(sides.size()) + " margins where L,R,B,T are 4");
        request.pixels = {sides[0], sides[1], sides[2], sides[3]};
    } else if (const auto x = text.find('x'); x != std::string::npos) {
        const int across = parse_pixels(text, text.substr(0, x)), up = parse_pixels(text, text.substr(x + 1));
        request.pixels = {across, across, up, up};
    } else {
        if (text.empty()) refuse(text, "empty");
        const int every = parse_pixels(text, text);
        request.pixels = {every, every, every, every};
    }
    return request;
}

Margins fixed_margins(const OverscanRequest& request, int width, int height) {
    switch (request.kind) {
        case OverscanRequest::Kind::Pixels:
            if (request.format_width && (request.format_width != width || request.format_height != height))
                throw UsageError(request.text + " measured a " + std::to_string(request.format_width) + "x" +
                                 std::to_string(request.format_height) + " format; this render's is " +
                                 std::to_string(width) + "x" + std::to_string(height));
            return request.pixels;
        case OverscanRequest::Kind::Percent: {
            const int x = half_percent_of(width, request), y = half_percent_of(height, request);
            return {x, x, y, y};
        }
        case OverscanRequest::Kind::Auto:
            break;
    }
    throw std::logic_error("--overscan auto has no fixed margins");
}

DD::Image::Box input_box(const DD::Image::Format& format, const PlateHeader* plate,
                         const ResolvedOverscan& overscan) {
    const std::optional<Margins>& margins = overscan.margins();
    // Exclusive bounds in long long: margins and data windows may be huge.
    long long x = 0, y = 0, r = format.width(), t = format.height();
    std::string reason = "the format";
    if (plate) {
        x = plate->bbox.min.x;
        y = plate->bbox.min.y;
        r = static_cast<long long>(plate->bbox.max.x) + 1;
        t = static_cast<long long>(plate->bbox.max.y) + 1;
        reason = "the data window of plate \"" + plate->path + "\"";
        if (r - x > kMaxBoxSide || t - y > kMaxBoxSide)
            throw std::runtime_error("the data window of plate \"" + plate->path + "\", " + box_text(x, y, r, t) +
                                     " in host pixels, is " + std::to_string(r - x) + "x" +
                                     std::to_string(t - y) + " pixels, more than " +
                                     std::to_string(kMaxBoxSide) + " on a side");
    }
    if (margins) {
        const Margins& m = *margins;
        x = std::min<long long>(x, -static_cast<long long>(m.left));
        y = std::min<long long>(y, -static_cast<long long>(m.bottom));
        r = std::max<long long>(r, static_cast<long long>(format.width()) + m.right);
        t = std::max<long long>(t, static_cast<long long>(format.height()) + m.top);
        const std::string& given = overscan.request_text();
        reason += std::string(plate ? " and " : " grown by ") + (given.rfind("--", 0) == 0 ? "" : "--overscan ") + given +
                  " (left " + std::to_string(m.left) + ", right " + std::to_string(m.right) + ", bottom " +
                  std::to_string(m.bottom) + ", top " + std::to_string(m.top) + ")";
    }
    if (r - x > kMaxBoxSide || t - y > kMaxBoxSide) {
        throw UsageError("the input's bounding box " + box_text(x, y, r, t) + " would be " +
                                    std::to_string(r - x) + "x" + std::to_string(t - y) +
                                    " pixels, more than " + std::to_string(kMaxBoxSide) +
                                    " on a side; it comes from " + reason);
    }
    return DD::Image::Box(static_cast<int>(x), static_cast<int>(y), static_cast<int>(r), static_cast<int>(t));
}

std::string overscan_summary(const Margins& m, int width, int height) {
    return "overscan: left " + std::to_string(m.left) + ", right " + std::to_string(m.right) + ", bottom " +
           std::to_string(m.bottom) + ", top " + std::to_string(m.top) + " px; render CG at " +
           std::to_string(cg_width(m, width)) + "x" + std::to_string(cg_height(m, height));
}

std::string overscan_json(const Margins& m, int width, int height) {
    Json margins = Json::object();
    margins["left"] = m.left;
    margins["right"] = m.right;
    margins["bottom"] = m.bottom;
    margins["top"] = m.top;
    margins["width"] = cg_width(m, width);
    margins["height"] = cg_height(m, height);
    Json line = versioned_object(kControlsFormat);
    line["overscan"] = margins;
    return json_text(line);
}

std::vector<exr::ExtraAttribute> overscan_attributes(const Margins& m) {
    return {{"talvik/overscan/left", m.left},
            {"talvik/overscan/right", m.right},
            {"talvik/overscan/bottom", m.bottom},
            {"talvik/overscan/top", m.top}};
}

}  // namespace talvik::shot
