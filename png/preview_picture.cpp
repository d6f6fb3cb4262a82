#include "png/preview_picture.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace talvik::png {

PreviewSize preview_size(int map_width, int map_height, int max_width) {
    if (max_width <= 0 || map_width <= max_width) return {map_width, map_height};
    const long long height = std::llround(static_cast<double>(map_height) * max_width / map_width);
    return {max_width, static_cast<int>(std::max(1LL, height))};
}

void PreviewPicture::begin(const io::StMapView& geometry, int max_width, PreviewSampling sampling) {
    size_ = preview_size(geometry.width, geometry.height, max_width);
    sampling_ = sampling;
    columns_.resize(static_cast<size_t>(size_.width));
    for (int x = 0; x < size_.width; ++x)
        columns_[x] = std::min(static_cast<int>((x + 0.5) * geometry.width / size_.width), geometry.width - 1);
    every_column_ = size_.width == geometry.width;  // then columns_[x] is x
    rows_.resize(static_cast<size_t>(size_.height));
    for (int line = 0; line < size_.height; ++line) {
        const int from_top = static_cast<int>((line + 0.5) * geometry.height / size_.height);
        rows_[line] = geometry.height - 1 - std::min(from_top, geometry.height - 1);
    }

    const double sx = static_cast<double>(size_.width) / geometry.width;
    const double sy = static_cast<double>(size_.height) / geometry.height;
    const long long box_top = static_cast<long long>(geometry.y) + geometry.height;
    auto column = [&](long long host_x) { return static_cast<int>(std::llround((host_x - geometry.x) * sx)); };
    auto line = [&](long long host_y) { return static_cast<int>(std::llround((box_top - host_y) * sy)); };
    edge_ = {column(0), column(geometry.display_width()), line(geometry.display_height()), line(0),
             std::max(1, static_cast<int>(std::lround(std::min(size_.width, size_.height) / 540.0)))};
    const int pattern_w = std::max(1, edge_.right - edge_.left), pattern_h = std::max(1, edge_.bottom - edge_.top);
    if (pattern_w != pattern_.width() || pattern_h != pattern_.height()) pattern_.build(pattern_w, pattern_h);
}

PreviewLines PreviewPicture::lines_in(int first_row, int rows) const {
    const int end_row = first_row + rows;
    const auto first = std::lower_bound(rows_.begin(), rows_.end(), end_row - 1, std::greater<int>());
    const auto end = std::lower_bound(first, rows_.end(), first_row - 1, std::greater<int>());
    // lower_bound with greater<> finds the first row <= the value: the
    // first line inside the band, then the first line below it.
    return {static_cast<int>(first - rows_.begin()), static_cast<int>(end - rows_.begin())};
}

void PreviewPicture::draw(int line, const io::StMapView& band, int first_row, uint8_t* rgb) const {
    const size_t row = band.index(0, rows_[static_cast<size_t>(line)] - first_row);
    pattern_.draw(band.s + row, band.t + row, every_column_ ? nullptr : columns_.data(), size_.width, sampling_, rgb);
    draw_edge(line, rgb);
}

// A line `edge_.line` wide just outside the format, corners included.
void PreviewPicture::draw_edge(int line, uint8_t* rgb) const {
    const FormatEdge& e = edge_;
    if (line < e.top - e.line || line >= e.bottom + e.line) return;
    auto paint = [&](int from, int to) {
        for (int x = std::max(from, 0); x < std::min(to, size_.width); ++x) {
            rgb[3 * x] = kFormatEdgeColour.r;
            rgb[3 * x + 1] = kFormatEdgeColour.g;
            rgb[3 * x + 2] = kFormatEdgeColour.b;
        }
    };
    if (line < e.top || line >= e.bottom) {
        paint(e.left - e.line, e.right + e.line);
    } else {
        paint(e.left - e.line, e.left);
        paint(e.right, e.right + e.line);
    }
}

}  // namespace talvik::png
