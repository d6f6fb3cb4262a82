// GlobalSettings: the file's frame rate.
#pragma once

#include "host/fbx/fbx_frame_rate.h"
#include "host/fbx/fbx_node.h"

namespace talvik::fbx::detail {

// GlobalSettings/Properties70 "TimeMode" (and "CustomFrameRate" for mode
// 14); default_frame_rate() when the file has no TimeMode. Throws FbxError
// on an unknown mode or an unusable custom rate.
FrameRate read_frame_rate(const Document& doc);

}  // namespace talvik::fbx::detail
