#include "cli/preview/preview_samples.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace talvik::cli {

PreviewSize preview_size(int map_width, int map_height, int max_width) {
    if (max_width <= 0 || map_width <= max_width) return {map_width, map_height};
    const long long height = std::llround(static_cast<double>(map_height) * max_width / map_width);
    return {max_width, static_cast<int>(std::max(1LL, height))};
}

void PreviewSamples::begin(const io::StMapView& geometry, int max_width) {
    geometry_ = geometry;
    geometry_.s = geometry_.t = nullptr;
    size_ = preview_size(geometry.width, geometry.height, max_width);
    columns_.resize(static_cast<size_t>(size_.width));
    for (int x = 0; x < size_.width; ++x)
        columns_[x] = std::min(static_cast<int>((x + 0.5) * geometry.width / size_.width), geometry.width - 1);
    rows_.resize(static_cast<size_t>(size_.height));
    for (int line = 0; line < size_.height; ++line) {
        const int from_top = static_cast<int>((line + 0.5) * geometry.height / size_.height);
        rows_[line] = geometry.height - 1 - std::min(from_top, geometry.height - 1);
    }
    const size_t pixels = static_cast<size_t>(size_.width) * static_cast<size_t>(size_.height);
    s_.assign(pixels, 0.0f);
    t_.assign(pixels, 0.0f);
}

void PreviewSamples::take(const io::StMapView& band, int first_row) {
    // Preview lines run top-down, so their rows fall: a band's lines are
    // one run of them.
    const int end_row = first_row + band.height;
    auto below_end = std::lower_bound(rows_.begin(), rows_.end(), end_row - 1, std::greater<int>());
    for (auto it = below_end; it != rows_.end() && *it >= first_row; ++it) {
        const int line = static_cast<int>(it - rows_.begin());
        const int row = *it - first_row;
        for (int x = 0; x < size_.width; ++x) {
            const size_t i = band.index(columns_[x], row);
            s_[index(x, line)] = band.s[i];
            t_[index(x, line)] = band.t[i];
        }
    }
}

}  // namespace talvik::cli
