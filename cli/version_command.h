// talvik-stmap --version: which builds would make a map.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace talvik::cli {

// --version: loads the plug-in from `plugin_path` and prints the three
// versions. Returns 1 when the plug-in cannot be found or loaded.
int run_version(const std::vector<std::string>& plugin_path, std::FILE* out, std::FILE* err);

}  // namespace talvik::cli
