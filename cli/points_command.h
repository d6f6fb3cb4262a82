// talvik-stmap points: a 2D track through the lens, each point with the
// lens of its own frame, as the ST map of the chosen mode maps it.
#pragma once

#include <cstdio>

#include "cli/options/command_options.h"

namespace talvik::cli {

// Reads options.points.track, reloads the take as render does, writes the
// converted track to options.render.output (safely), a batch of points at a
// time. Warnings (points with no position and why, frames outside the
// keys) go to `err` and fail the run under --strict; the summary too,
// unless --quiet. Returns the exit status; throws UsageError or
// std::runtime_error naming the culprit.
int run_points(const CommandLine& cl, std::FILE* err);

}  // namespace talvik::cli
