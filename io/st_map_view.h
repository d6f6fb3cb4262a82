// An ST map as the host renders it: two float planes, row 0 the bottom line
// of the picture (Nuke's convention), rows packed without padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace talvik::io {

struct StMapView {
    int width = 0;
    int height = 0;
    const float* s = nullptr;  // width * height values, horizontal position in [0, 1]
    const float* t = nullptr;  // same layout, vertical position, 0 at the bottom
    // Where the planes sit: the host pixel (x, y) of their first value. The
    // node's bounding box may reach left of and below the format.
    int x = 0;
    int y = 0;
    // The format the map belongs to (its display window); 0 means the
    // planes' own size, so the planes are the format.
    int format_width = 0;
    int format_height = 0;
    // The s and t planes' layout: the validity as half-float bits (1 where
    // the map holds a position, 0 where the lens has none); null: the map
    // has no A channel.
    const uint16_t* a = nullptr;

    size_t index(int x, int row) const { return static_cast<size_t>(row) * width + x; }
    int display_width() const { return format_width > 0 ? format_width : width; }
    int display_height() const { return format_height > 0 ? format_height : height; }
    // Host row `row` of the planes lies on this EXR line (lines run top-down
    // from the top of the display window, and may be negative).
    int exr_line(int row) const { return display_height() - 1 - (y + row); }
};

// Throws std::invalid_argument if the size is not positive or a plane is
// missing; `what` names the file being written.
void check_st_map_view(const StMapView& map, const std::string& what);

}  // namespace talvik::io
