// The map pixels a preview shows, one (s, t) per preview pixel, picked at
// the centre of each: gathered from a whole map or from its bands as they
// pass, so that a preview never needs the frame held.
#pragma once

#include <vector>

#include "io/st_map_view.h"

namespace talvik::cli {

struct PreviewSize {
    int width = 0;
    int height = 0;
};

PreviewSize preview_size(int map_width, int map_height, int max_width);

class PreviewSamples {
public:
    // Starts over for a map of `geometry`'s size and place (planes unused),
    // shrunk to `max_width` (0: full size).
    void begin(const io::StMapView& geometry, int max_width);
    // Picks the preview's pixels among the map's rows first_row ..
    // first_row + band.height - 1, `band` row 0 being first_row. Bands that
    // share no row may be taken on several threads at once.
    void take(const io::StMapView& band, int first_row);

    const io::StMapView& geometry() const { return geometry_; }
    PreviewSize size() const { return size_; }
    // Preview pixel (x, line), line 0 at the top.
    float s(int x, int line) const { return s_[index(x, line)]; }
    float t(int x, int line) const { return t_[index(x, line)]; }

private:
    size_t index(int x, int line) const { return static_cast<size_t>(line) * size_.width + x; }

    io::StMapView geometry_;
    PreviewSize size_;
    std::vector<int> columns_;  // map column of each preview column
    std::vector<int> rows_;     // map row of each preview line
    std::vector<float> s_, t_;
};

}  // namespace talvik::cli
