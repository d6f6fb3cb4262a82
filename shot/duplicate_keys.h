// Keys a take gives twice for one frame of one lens channel: the reload
// keeps the last of them, as Nuke's setValueAt does, and says nothing.
#pragma once

#include <string>
#include <vector>

#include "host/runtime/node.h"

namespace talvik::shot {

// One text per lens channel of the node's camera (the camera_index and
// lens1-lens4 prefixes it holds after a reload of `take`) whose keys fall
// twice or more on one frame, naming the FBX node, the channel, the control
// it fills and the frames. Throws fbx::FbxError when the take cannot be read.
std::vector<std::string> duplicate_key_warnings(const Node& node, const std::string& take);

}  // namespace talvik::shot
