#include "io/st_map_view.h"

#include <stdexcept>

namespace talvik::io {

void check_st_map_view(const StMapView& map, const std::string& what) {
    if (map.width <= 0 || map.height <= 0)
        throw std::invalid_argument("cannot write \"" + what + "\": ST map size " +
                                    std::to_string(map.width) + "x" + std::to_string(map.height) +
                                    " is empty");
    if (!map.s || !map.t)
        throw std::invalid_argument("cannot write \"" + what + "\": ST map has no " +
                                    (map.s ? "t" : "s") + " plane");
    if (map.format_width < 0 || map.format_height < 0 || (map.format_width == 0) != (map.format_height == 0))
        throw std::invalid_argument("cannot write \"" + what + "\": format " + std::to_string(map.format_width) +
                                    "x" + std::to_string(map.format_height) + " is not a size");
}

}  // namespace talvik::io
