// talvik-stmap render: drives the TalvikDistort plug-in through the host as
// Nuke would and writes each frame's ST map.
#pragma once

#include <cstdio>

#include "cli/options/command_options.h"

namespace talvik::cli {

// Returns the exit status. Controls' JSON goes to `out`, messages to `err`.
// Throws UsageError for a command line it cannot render and other
// std::exception subclasses for bad input, naming the culprit.
int run_render(const RenderOptions& options, std::FILE* out, std::FILE* err);

// talvik-stmap overscan: measures `auto` over the shot as a render would
// and writes the overscan report to options.overscan_report.
int run_overscan(const RenderOptions& options, std::FILE* out, std::FILE* err);

}  // namespace talvik::cli
