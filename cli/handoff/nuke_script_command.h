// talvik-stmap nuke-script: the Nuke script of a shot (see nuke_script.h),
// reading the maps rendered into the patterns given.
#pragma once

#include <cstdio>

#include "cli/options/command_options.h"

namespace talvik::cli {

// Plans the shot as a render would and writes the script to
// options.document. Returns the exit status; throws as plan_render does.
int run_nuke_script(const RenderOptions& options, const HandoffOptions& handoff, std::FILE* out, std::FILE* err);

}  // namespace talvik::cli
