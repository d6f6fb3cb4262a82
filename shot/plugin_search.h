// Where the plug-in is looked for, by the command and the Python module.
#pragma once

#include <string>
#include <vector>

namespace talvik::shot {

// The folders given first, then those of TALVIK_PLUGIN_PATH (':'-separated,
// like NUKE_PATH), then `beside`: where the caller's installed tree or
// build keeps the plug-in.
std::vector<std::string> plugin_search_path(std::vector<std::string> given, const std::vector<std::string>& beside);

}  // namespace talvik::shot
