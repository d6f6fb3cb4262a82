#include "cli/preview/preview_pattern.h"

#include <algorithm>
#include <cmath>

namespace talvik::cli {
namespace {

constexpr Rgb8 kCentreColour{255, 40, 40};

bool has_source(float s, float t) {
    if (s == 0.0f && t == 0.0f) return false;
    return s >= 0.0f && s <= 1.0f && t >= 0.0f && t <= 1.0f;  // false for NaN too
}

uint8_t lerp(uint8_t a, uint8_t b, float f) {
    return static_cast<uint8_t>(std::lround(a + (b - a) * f));
}

Rgb8 mix(Rgb8 a, Rgb8 b, float f) { return {lerp(a.r, b.r, f), lerp(a.g, b.g, f), lerp(a.b, b.b, f)}; }

// Whether pixel i lies on one of the `cells` + 1 lines splitting `size`
// pixels: each line is `line` whole pixels wide, centred on its boundary
// and pulled inside the frame at the edges, so every line is drawn and
// none gets thinner or vanishes with the cell size.
bool on_grid_line(int i, int size, int cells, int line) {
    const int nearest = static_cast<int>(std::lround((i + 0.5) * cells / size));
    const int boundary = static_cast<int>(std::lround(static_cast<double>(nearest) * size / cells));
    const int start = std::clamp(boundary - line / 2, 0, std::max(0, size - line));
    return i >= start && i < start + line;
}

}  // namespace

Rgb8 pattern_pixel(int x, int y, int width, int height) {
    // Two pixels wide at HD, never thinner than one.
    const int line = std::max(1, static_cast<int>(std::lround(std::min(width, height) / 540.0)));
    const double cell_w = static_cast<double>(width) / kPatternColumns;
    const double cell_h = static_cast<double>(height) / kPatternRows;

    const double cx = x + 0.5, cy = y + 0.5;  // pixel centre
    const double arm = 0.5 * std::min(cell_w, cell_h);
    const double dx = std::abs(cx - 0.5 * width), dy = std::abs(cy - 0.5 * height);
    if ((dx < line && dy < arm) || (dy < line && dx < arm)) return kCentreColour;

    if (on_grid_line(x, width, kPatternColumns, line) || on_grid_line(y, height, kPatternRows, line))
        return kGridColour;

    const int column = std::clamp(static_cast<int>(cx / cell_w), 0, kPatternColumns - 1);
    const int row = std::clamp(static_cast<int>(cy / cell_h), 0, kPatternRows - 1);
    const Rgb8 tint{static_cast<uint8_t>(90 + 150 * column / (kPatternColumns - 1)),
                    static_cast<uint8_t>(90 + 150 * row / (kPatternRows - 1)), 170};
    if ((column + row) % 2 == 0) return tint;
    return {static_cast<uint8_t>(tint.r * 3 / 5), static_cast<uint8_t>(tint.g * 3 / 5),
            static_cast<uint8_t>(tint.b * 3 / 5)};
}

Rgb8 pattern_at(float s, float t, int width, int height, PreviewSampling sampling) {
    if (!has_source(s, t)) return kNoSourceColour;
    const double x = static_cast<double>(s) * width, y = static_cast<double>(t) * height;
    if (sampling == PreviewSampling::Nearest)
        return pattern_pixel(std::min(static_cast<int>(x), width - 1),
                             std::min(static_cast<int>(y), height - 1), width, height);

    // Bilinear between the four pixel centres around (x, y), edges clamped.
    const double px = x - 0.5, py = y - 0.5;
    const int x0 = static_cast<int>(std::floor(px)), y0 = static_cast<int>(std::floor(py));
    const float fx = static_cast<float>(px - x0), fy = static_cast<float>(py - y0);
    auto at = [&](int ix, int iy) {
        return pattern_pixel(std::clamp(ix, 0, width - 1), std::clamp(iy, 0, height - 1), width, height);
    };
    const Rgb8 bottom = mix(at(x0, y0), at(x0 + 1, y0), fx);
    const Rgb8 top = mix(at(x0, y0 + 1), at(x0 + 1, y0 + 1), fx);
    return mix(bottom, top, fy);
}

}  // namespace talvik::cli
