// The preview picture as its description gives it, in double precision and
// plain loops: what a preview pixel should show, for checking the writer's
// tables, blends and picks. Colours are {r, g, b} in 0 to 255.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace talvik::test {

using Colour = std::array<int, 3>;

namespace preview_model {

constexpr int kColumns = 16, kRows = 9;
constexpr Colour kNoSource{36, 0, 44}, kGrid{250, 250, 250}, kCross{255, 40, 40}, kFormatEdge{255, 200, 0};

// Grid and cross lines: two pixels at 1080 lines, one at least.
inline int line_width(int width, int height) {
    return std::max(1, static_cast<int>(std::floor(std::min(width, height) / 540.0 + 0.5)));
}

// Whether pixel i of `size` lies on one of the `cells` + 1 grid lines: line
// k is `width` pixels from round(k * size / cells) - width / 2, kept inside
// the frame.
inline bool on_grid(int i, int size, int cells, int width) {
    for (int k = 0; k <= cells; ++k) {
        const int boundary = static_cast<int>(std::floor(static_cast<double>(k) * size / cells + 0.5));
        const int start = std::min(std::max(boundary - width / 2, 0), std::max(0, size - width));
        if (i >= start && i < start + width) return true;
    }
    return false;
}

// Pattern pixel (x, y) of a width x height frame, y up from the bottom,
// whose column and line are on the grid or not.
inline Colour pixel(int x, int y, int width, int height, bool grid_column, bool grid_line) {
    const int line = line_width(width, height);
    const double cell_w = static_cast<double>(width) / kColumns, cell_h = static_cast<double>(height) / kRows;
    const double cx = x + 0.5, cy = y + 0.5;
    const double dx = std::fabs(cx - width / 2.0), dy = std::fabs(cy - height / 2.0);
    const double arm = std::min(cell_w, cell_h) / 2.0;
    if ((dx < line && dy < arm) || (dy < line && dx < arm)) return kCross;
    if (grid_column || grid_line) return kGrid;
    const int column = std::min(std::max(static_cast<int>(std::floor(cx / cell_w)), 0), kColumns - 1);
    const int row = std::min(std::max(static_cast<int>(std::floor(cy / cell_h)), 0), kRows - 1);
    Colour c{90 + 150 * column / (kColumns - 1), 90 + 150 * row / (kRows - 1), 170};
    if ((column + row) % 2 == 1)
        for (int& channel : c) channel = channel * 3 / 5;
    return c;
}

inline Colour pixel(int x, int y, int width, int height) {
    const int line = line_width(width, height);
    return pixel(x, y, width, height, on_grid(x, width, kColumns, line), on_grid(y, height, kRows, line));
}

// Every pixel of a width x height pattern, worked out once.
struct Pattern {
    int width, height;
    std::vector<Colour> pixels;  // bottom line first
    Pattern(int w, int h) : width(w), height(h) {
        const int line = line_width(w, h);
        std::vector<bool> grid_columns;
        for (int x = 0; x < w; ++x) grid_columns.push_back(on_grid(x, w, kColumns, line));
        for (int y = 0; y < h; ++y) {
            const bool grid_line = on_grid(y, h, kRows, line);
            for (int x = 0; x < w; ++x) pixels.push_back(pixel(x, y, w, h, grid_columns[x], grid_line));
        }
    }
    const Colour& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline bool has_source(float s, float t) {
    if (!(s >= 0.0f && s <= 1.0f && t >= 0.0f && t <= 1.0f)) return false;  // NaN too
    return !(s == 0.0f && t == 0.0f);
}

// The pixel under position (s, t) of the pattern.
inline Colour nearest(float s, float t, const Pattern& p) {
    if (!has_source(s, t)) return kNoSource;
    const int x = std::min(static_cast<int>(std::floor(static_cast<double>(s) * p.width)), p.width - 1);
    const int y = std::min(static_cast<int>(std::floor(static_cast<double>(t) * p.height)), p.height - 1);
    return p.at(x, y);
}

// The four pixel centres around (s, t) weighted by nearness, edges clamped,
// rounded once.
inline Colour bilinear(float s, float t, const Pattern& p) {
    if (!has_source(s, t)) return kNoSource;
    const double x = static_cast<double>(s) * p.width - 0.5, y = static_cast<double>(t) * p.height - 0.5;
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const double fx = x - x0, fy = y - y0;
    auto at = [&](int ix, int iy) {
        return p.at(std::min(std::max(ix, 0), p.width - 1), std::min(std::max(iy, 0), p.height - 1));
    };
    const Colour c00 = at(x0, y0), c10 = at(x0 + 1, y0), c01 = at(x0, y0 + 1), c11 = at(x0 + 1, y0 + 1);
    Colour out{};
    for (int k = 0; k < 3; ++k) {
        const double v = (1 - fx) * (1 - fy) * c00[k] + fx * (1 - fy) * c10[k] + (1 - fx) * fy * c01[k] +
                         fx * fy * c11[k];
        out[k] = static_cast<int>(std::floor(v + 0.5));
    }
    return out;
}

// The map column and row (up from the bottom) a preview pixel picks: the
// map pixel under its centre, the preview `width` x `height`.
inline int picked_column(int x, int width, int map_width) {
    return std::min(static_cast<int>(std::floor((x + 0.5) * map_width / width)), map_width - 1);
}
inline int picked_row(int line, int height, int map_height) {
    return map_height - 1 - std::min(static_cast<int>(std::floor((line + 0.5) * map_height / height)), map_height - 1);
}

}  // namespace preview_model
}  // namespace talvik::test
