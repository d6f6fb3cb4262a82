// Where the plug-in is looked for, by the command and the Python module.
#pragma once

#include <string>
#include <vector>

namespace talvik::shot {

// The folders asked for, `given` and then those of TALVIK_PLUGIN_PATH
// (':'-separated, like NUKE_PATH; an empty entry is no folder), and only
// those; asked for none, `beside`: where the caller's installed tree or
// build keeps the plug-in. A folder asked for that is not there throws
// std::runtime_error naming it (`given_as`: how `given` was asked, as
// "--plugin-path"), never a reason to fall back on the bundled plug-in.
std::vector<std::string> plugin_search_path(std::vector<std::string> given, const std::string& given_as,
                                            const std::vector<std::string>& beside);

}  // namespace talvik::shot
