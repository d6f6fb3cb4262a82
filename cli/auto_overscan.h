// --overscan auto: the margins CG needs so that the Undistort map finds a
// pixel for every plate pixel.
#pragma once

#include <vector>

#include "cli/overscan_request.h"
#include "host/runtime/host.h"

namespace talvik::cli {

// Where an Undistort map's positions reach, in pixels of its format (x
// across, y up from the bottom line).
struct PositionExtent {
    double min_x = 0.0, max_x = 0.0, min_y = 0.0, max_y = 0.0;
    bool empty = true;
};

// Grows `extent` by every position of an Undistort map over its format.
// Pixels with no position, (0, 0), and values that are not finite are
// skipped.
void add_positions(const host::Image& undistort_map, PositionExtent& extent);

// The smallest whole-pixel margins around a width x height format that
// hold the extent.
Margins margins_holding(const PositionExtent& extent, int width, int height);

// Renders `node` in Undistort mode over its input's format at each of
// `frames` (once for a run of frames with equal controls) and returns the
// margins that hold every position; Mode is set back afterwards. The
// input's box must be its format.
Margins measure_auto_overscan(host::Host& host, Node& node, const std::vector<int>& frames);

}  // namespace talvik::cli
