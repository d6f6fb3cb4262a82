// talvik-stmap camera and nuke-script: the files a shot hands to CG and comp.
#pragma once

#include <cstdio>

#include "cli/options/command_options.h"

namespace talvik::cli {

// Each returns the exit status; messages go to `err`.
int run_camera(const RenderOptions& options, const HandoffOptions& handoff, std::FILE* out, std::FILE* err);
int run_nuke_script(const RenderOptions& options, const HandoffOptions& handoff, std::FILE* out, std::FILE* err);

}  // namespace talvik::cli
