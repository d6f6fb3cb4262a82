// What a preview shows, line by line: the map pixel each preview pixel
// picks (at its centre, never averaged, so unsolved pixels stay visible),
// the pattern seen at that pixel's position, and the format's edge where
// the map's box reaches beyond the format. Set up once per map; lines are
// then drawn from the map's bands as they pass, on any thread, so that a
// preview never needs the frame held.
#pragma once

#include <cstdint>
#include <vector>

#include "png/preview_pattern.h"
#include "io/st_map_view.h"

namespace talvik::png {

struct PreviewSize {
    int width = 0;
    int height = 0;
};

PreviewSize preview_size(int map_width, int map_height, int max_width);

// Preview lines first .. end - 1, line 0 at the top.
struct PreviewLines {
    int first = 0, end = 0;
    bool empty() const { return end <= first; }
};

class PreviewPicture {
public:
    // Starts over for a map of `geometry`'s size and place (planes unused),
    // shrunk to `max_width` (0: full size). Allocates: between frames only.
    void begin(const io::StMapView& geometry, int max_width, PreviewSampling sampling);

    PreviewSize size() const { return size_; }

    // The lines whose map rows are first_row .. first_row + rows - 1: one run,
    // as lines run top-down and rows bottom-up.
    PreviewLines lines_in(int first_row, int rows) const;

    // Line `line` as RGB bytes (3 per pixel), from `band`, whose row 0 is
    // map row `first_row` and which holds the line's row.
    void draw(int line, const io::StMapView& band, int first_row, uint8_t* rgb) const;

private:
    // The format in preview pixels (columns left to right, lines from the
    // top, ends exclusive) and the width of the line drawn around it.
    struct FormatEdge {
        int left = 0, right = 0, top = 0, bottom = 0, line = 1;
    };
    void draw_edge(int line, uint8_t* rgb) const;

    PreviewSize size_;
    PreviewSampling sampling_ = PreviewSampling::Bilinear;
    FormatEdge edge_;
    PreviewPattern pattern_;  // spans the format, at the preview's scale
    std::vector<int> columns_;  // map column of each preview column
    bool every_column_ = false;  // each map column in turn
    std::vector<int> rows_;     // map row of each preview line, falling
};

}  // namespace talvik::png
