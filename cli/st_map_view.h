// An ST map as the host renders it: two float planes, row 0 the bottom line
// of the picture (Nuke's convention), rows packed without padding.
#pragma once

#include <cstddef>
#include <string>

namespace talvik::cli {

struct StMapView {
    int width = 0;
    int height = 0;
    const float* s = nullptr;  // width * height values, horizontal position in [0, 1]
    const float* t = nullptr;  // same layout, vertical position, 0 at the bottom

    size_t index(int x, int row) const { return static_cast<size_t>(row) * width + x; }
};

// Throws std::invalid_argument if the size is not positive or a plane is
// missing; `what` names the file being written.
void check_st_map_view(const StMapView& map, const std::string& what);

}  // namespace talvik::cli
