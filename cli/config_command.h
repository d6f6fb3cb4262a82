// talvik-stmap config: each option's value and where it came from, so that
// a studio's defaults can be seen before a run takes them.
#pragma once

#include <cstdio>

#include "cli/options/command_options.h"

namespace talvik::cli {

// One line per option of each command asked about: KEY = VALUE and the
// config file and line it came from, "command line" or "default" (a line
// per value of a repeatable option); --json the same as a document.
int run_config(const ConfigOptions& config, std::FILE* out);

}  // namespace talvik::cli
