// What the command refuses to render from: a take whose keys are damaged
// (absurd key times, values that are not finite 32-bit floats) and lens
// values whose map holds positions that are not finite numbers. The node
// renders such input as it is; the command never writes it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shot/control_values.h"
#include "io/st_map_view.h"
#include "host/runtime/node.h"

namespace talvik::shot {

// After a reload of `take`: throws std::runtime_error naming the camera, the
// control and the frame of a key whose value is not a finite 32-bit float,
// or naming the camera, the controls and the key range when the keys span
// more frames than a --frames range may hold.
void check_take_keys(const Node& node, const std::string& take);

// Throws std::runtime_error naming the frame and the control whose value at
// that frame is not a finite 32-bit float.
void check_frame_values(const std::vector<ControlValue>& values, int frame);

struct MapPixel {
    int x = 0, y = 0;
};

// The first pixel of `map`, row by row from row 0, whose position is not
// finite; `map` may be a band of the map whose row 0 is the map's row
// `first_row`, and the pixel is then named in the whole map.
std::optional<MapPixel> first_non_finite_pixel(const io::StMapView& map, int first_row = 0);

// The lens values as a refusal names them: " cx=10 cy=-5 ... Mode=Distort".
std::string lens_values_text(const std::vector<ControlValue>& values);

// Throws std::runtime_error naming the frame, the first pixel whose
// position is not finite and the lens values, when the map holds one.
// `map` may be a band of the map whose row 0 is the map's row `first_row`:
// the pixel is then named in the whole map.
void check_map_finite(const io::StMapView& map, int frame, const std::vector<ControlValue>& values,
                      int first_row = 0);

}  // namespace talvik::shot
