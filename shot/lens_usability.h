// Lens values from which the node makes no usable map. The node renders
// them as it renders any lens (that is its behaviour in Nuke too); the
// command names every frame they reach, before anything is rendered.
//
// Judged from the lens values at the frame, in the node's own single
// precision, so that the verdict is exact and costs nothing per pixel:
// - a focal length (fx, or fy with anamorphic on) at or below 0: at 0 every
//   position collapses onto the centre line (Undistort) or onto (0, 0)
//   (Distort); below 0 the picture turns over;
// - an edge-fitted focal length that is not above 0 and finite: the radial
//   factor at the reference frame's edge (960 px from the centre) is at or
//   below 0, or overflows, as with k1 = -1e30 or fx = 1e-6 with k1 = 1: the
//   lens folds back or collapses before the frame's edge, and the Undistort
//   map holds (0, 0) or a mirrored picture;
// - a principal point outside the frame (|cx| above 960 or |cy| above 540
//   panel pixels): no lens's axis misses its own picture; far out (cx =
//   1e20) every position of the map is one and the same number;
// - a lens folding back before any pixel of the format: even the pixel
//   nearest the principal point lies past the fold, so no pixel has an
//   undistorted position (the Undistort map is (0, 0) everywhere).
// Values that are not finite are refused earlier (frame_checks.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shot/control_values.h"

namespace talvik::shot {

// Why the lens of `values` (the node's controls at one frame, panel units)
// makes no usable map over a `width` x `height` format, naming the values;
// nothing when it makes one.
std::optional<std::string> unusable_lens(const std::vector<ControlValue>& values, int width, int height);

}  // namespace talvik::shot
