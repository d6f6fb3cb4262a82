// talvik-stmap verify: whether every frame of a shot is there, whole and
// made from this shot's values, and the shot manifest rebuilt from the
// files.
#pragma once

#include <cstdio>

#include "cli/options/command_options.h"

namespace talvik::cli {

// Names each file that does not hold on `out`, then a summary unless
// quiet; writes the shot manifest with --manifest. Returns 0 when every
// frame holds, 1 otherwise.
int run_verify(const RenderOptions& options, const FarmOptions& farm, std::FILE* out, std::FILE* err);

}  // namespace talvik::cli
