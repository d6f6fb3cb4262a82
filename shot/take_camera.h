// Setting the take and its camera on the node, the way the command decides
// the camera (see camera_choice.h).
#pragma once

#include <optional>
#include <string>

#include "shot/camera_choice.h"
#include "host/runtime/host.h"

namespace talvik::shot {

class PlateSequence;

// Sets the node's FBX File to the take (so the node applies its own
// file-name rule), then its camera to the choice. `plates` may be null.
CameraChoice set_take_and_camera(host::Host& host, Node& node, const std::string& fbx,
                                 std::optional<int> chosen, const PlateSequence* plates);

}  // namespace talvik::shot
