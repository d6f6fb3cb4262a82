// The lens a TalvikDistort node holds at a frame, rebuilt from its control
// values for what the command derives from it (the undistorted camera, the
// validity of a map's pixels) rather than reading the plug-in's memory.
#pragma once

#include <vector>

#include "lens/lens_model.h"
#include "shot/control_values.h"

namespace talvik::shot {

// The panel values (Mode, cx, cy, fx, fy, k1, k2, anamorphic), normalized
// as the node normalizes them. Throws std::runtime_error naming a lens
// control missing from `values`.
LensModel frame_lens(const std::vector<ControlValue>& values);

}  // namespace talvik::shot
