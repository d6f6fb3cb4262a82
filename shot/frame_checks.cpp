#include "shot/frame_checks.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "DDImage/Knob.h"
#include "shot/frame_range.h"

namespace talvik::shot {
namespace {

bool finite_float(double v) { return std::isfinite(v) && std::fabs(v) <= FLT_MAX; }

// Whole frame numbers in full, anything else as a float would show.
std::string number(double v) {
    char text[40];
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) {
        std::snprintf(text, sizeof text, "%.0f", v);
    } else {
        std::snprintf(text, sizeof text, "%.9g", v);
    }
    return text;
}

std::string camera_of(const Node& node, const std::string& take) {
    const DD::Image::Knob* k = node.knob("camera_index");
    const std::string camera = k ? std::to_string(std::lround(k->value())) : "?";
    return "camera " + camera + " of \"" + take + "\"";
}

}  // namespace

void check_take_keys(const Node& node, const std::string& take) {
    struct Range {
        double first, last;
        double span() const { return std::floor(last) - std::ceil(first) + 1; }
    };
    std::map<std::string, Range> ranges;  // per control
    for (const auto& k : node.knobs()) {
        for (int c = 0; c < k->components(); ++c) {
            for (const DD::Image::Knob::Key& key : k->keys(c)) {
                if (!std::isfinite(key.frame))
                    throw std::runtime_error(camera_of(node, take) + ": control " + k->name() +
                                             " has a key at frame " + number(key.frame));
                if (!finite_float(key.value))
                    throw std::runtime_error(camera_of(node, take) + ": control " + k->name() + " is " +
                                             number(key.value) + " at frame " + number(key.frame) +
                                             ", not a finite 32-bit float");
                auto [it, added] = ranges.emplace(k->name(), Range{key.frame, key.frame});
                it->second.first = std::min(it->second.first, key.frame);
                it->second.last = std::max(it->second.last, key.frame);
            }
        }
    }
    if (ranges.empty()) return;
    // The same limit as --frames; beyond int the frame numbers themselves break.
    auto too_long = [](const Range& r) {
        return r.span() > static_cast<double>(kMaxFramesInRange) || r.first < std::numeric_limits<int>::min() ||
               r.last > std::numeric_limits<int>::max();
    };
    auto [first, last] = std::pair{ranges.begin(), ranges.begin()};
    auto widest = ranges.begin();
    for (auto it = ranges.begin(); it != ranges.end(); ++it) {
        if (it->second.first < first->second.first) first = it;
        if (it->second.last > last->second.last) last = it;
        if (it->second.span() > widest->second.span()) widest = it;
    }
    const Range all{first->second.first, last->second.last};
    if (!too_long(all)) return;
    // A control whose own keys span too far is the damaged one.
    const std::string controls = too_long(widest->second) ? "control " + widest->first + " has keys"
                                 : "controls " + first->first + " and " + last->first + " have keys";
    const Range shown = too_long(widest->second) ? widest->second : all;
    throw std::runtime_error(camera_of(node, take) + ": " + controls + " from frame " + number(shown.first) +
                             " to " + number(shown.last) + ", more than " + std::to_string(kMaxFramesInRange) +
                             " frames: the take looks damaged");
}

void check_frame_values(const std::vector<ControlValue>& values, int frame) {
    for (const ControlValue& v : values) {
        const float* f = std::get_if<float>(&v.value);
        if (f && !std::isfinite(*f))
            throw std::runtime_error("frame " + std::to_string(frame) + ": control " + v.name + " is " +
                                     number(*f) + ", not a finite number");
    }
}

namespace {

// Whether a plane holds a value whose exponent bits are all set (an
// infinity or a NaN). It runs on every band of every frame, so SSE2 takes
// four values at a time with no branch per value.
bool has_non_finite(const float* values, size_t count) {
    constexpr uint32_t kExponent = 0x7f800000u;
    size_t i = 0;
    uint32_t found = 0;
#ifdef __SSE2__
    const __m128i exponent = _mm_set1_epi32(static_cast<int>(kExponent));
    __m128i any = _mm_setzero_si128();
    for (; i + 4 <= count; i += 4) {
        const __m128i bits = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
        any = _mm_or_si128(any, _mm_cmpeq_epi32(_mm_and_si128(bits, exponent), exponent));
    }
    found = static_cast<uint32_t>(_mm_movemask_epi8(any));
#endif
    for (; i < count; ++i) {
        uint32_t bits;
        std::memcpy(&bits, values + i, sizeof bits);
        found |= static_cast<uint32_t>((bits & kExponent) == kExponent);
    }
    return found != 0;
}

}  // namespace

std::optional<MapPixel> first_non_finite_pixel(const io::StMapView& map, int first_row) {
    const size_t count = static_cast<size_t>(map.width) * static_cast<size_t>(std::max(map.height, 0));
    if (!has_non_finite(map.s, count) && !has_non_finite(map.t, count)) return std::nullopt;
    for (int y = 0; y < map.height; ++y) {
        for (int x = 0; x < map.width; ++x) {
            const size_t i = map.index(x, y);
            if (!std::isfinite(map.s[i]) || !std::isfinite(map.t[i])) return MapPixel{x, first_row + y};
        }
    }
    return std::nullopt;
}

std::string lens_values_text(const std::vector<ControlValue>& values) {
    std::string lens;
    for (const ControlValue& v : values) {
        if (const auto* f = std::get_if<float>(&v.value)) {
            lens += " " + v.name + "=" + number(*f);
        } else if (const auto* n = std::get_if<int>(&v.value)) {
            lens += " " + v.name + "=" + std::to_string(*n);
        } else if (v.name == "Mode") {
            lens += " Mode=" + std::get<std::string>(v.value);
        }
    }
    return lens;
}

void check_map_finite(const io::StMapView& map, int frame, const std::vector<ControlValue>& values,
                      int first_row) {
    const std::optional<MapPixel> pixel = first_non_finite_pixel(map, first_row);
    if (!pixel) return;
    throw std::runtime_error("frame " + std::to_string(frame) + ": the lens gives no finite position at pixel (" +
                             std::to_string(pixel->x) + ", " + std::to_string(pixel->y) +
                             "), nothing written for this frame;"
                             " lens values:" + lens_values_text(values));
}

}  // namespace talvik::shot
