#include "shot/plugin_search.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace talvik::shot {

std::vector<std::string> plugin_search_path(std::vector<std::string> given, const std::string& given_as,
                                            const std::vector<std::string>& beside) {
    const size_t from_caller = given.size();
    if (const char* env = std::getenv("TALVIK_PLUGIN_PATH")) {
        const std::string list = env;
        for (size_t start = 0; start <= list.size();) {
            const size_t end = std::min(list.find(':', start), list.size());
            if (end > start) given.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    for (size_t i = 0; i < given.size(); ++i) {
        std::error_code ec;
        if (std::filesystem::is_directory(given[i], ec)) continue;
        const std::string why = std::filesystem::exists(given[i], ec) ? "is not a folder" : "does not exist";
        throw std::runtime_error((i < from_caller ? given_as + " \"" : "TALVIK_PLUGIN_PATH folder \"") + given[i] +
                                 "\" " + why + "; the plug-in is looked for only in the folders asked for");
    }
    return given.empty() ? beside : given;
}

}  // namespace talvik::shot
