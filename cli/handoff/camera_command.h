// talvik-stmap camera: the undistorted camera of every frame of a shot, as
// JSON for CG (see shot/undistorted_camera.h for what each number means).
#pragma once

#include <cstdio>

#include "cli/options/command_options.h"

namespace talvik::cli {

// Plans the shot as a render would (the take reloaded, the frames, the
// overscan measured for `auto`) and writes the document to options.document.
// Returns the exit status; throws as plan_render does.
int run_camera(const RenderOptions& options, const HandoffOptions& handoff, std::FILE* out, std::FILE* err);

}  // namespace talvik::cli
