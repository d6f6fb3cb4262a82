// An ST map's pixels as planes in file order (the top line of the data
// window first): what a map file holds, decoded, and what a render makes,
// laid out alike so that the two compare value by value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talvik::exr {

struct StMapPixels {
    int x = 0, y = 0;           // the data window's first pixel, EXR coordinates (y down)
    int width = 0, height = 0;  // its size
    std::vector<float> r, g;    // width * height each
    std::vector<uint16_t> a;    // half bits; empty without an A channel
};

// Decodes every chunk of the map EXR at `path` (R, G and A when it has one).
// Throws std::runtime_error with OpenEXR's reason, which names the file,
// when the header or a chunk does not decode.
StMapPixels read_st_map_pixels(const std::string& path);

}  // namespace talvik::exr
