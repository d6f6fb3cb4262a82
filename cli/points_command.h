// talvik-stmap points: a 2D track through the lens, each point with the
// lens of its own frame, as the ST map of the chosen mode maps it.
#pragma once

#include <cstdio>

#include "cli/options/command_options.h"

namespace talvik::cli {

// Warnings go to `err` and fail the run under --strict; the summary too,
// unless --quiet. Returns the exit status; throws as convert_track does.
int run_points(const CommandLine& cl, std::FILE* err);

}  // namespace talvik::cli
