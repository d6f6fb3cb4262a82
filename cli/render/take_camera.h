// Setting the take and its camera on the node, the way the command decides
// the camera (see camera_choice.h).
#pragma once

#include <optional>
#include <string>

#include "cli/render/camera_choice.h"
#include "cli/options/command_options.h"
#include "host/runtime/host.h"

namespace talvik::cli {

class PlateSequence;

// What the command line chose: --camera, or a --set camera_index (already
// applied to the node).
std::optional<int> chosen_camera(const Node& node, const RenderOptions& options);

// Sets the node's FBX File to the take (so the node applies its own
// file-name rule), then its camera to the choice. `plates` may be null.
CameraChoice set_take_and_camera(host::Host& host, Node& node, const std::string& fbx,
                                 std::optional<int> chosen, const PlateSequence* plates);

}  // namespace talvik::cli
