#include "shot/plugin_search.h"

#include <algorithm>
#include <cstdlib>

namespace talvik::shot {

std::vector<std::string> plugin_search_path(std::vector<std::string> given, const std::vector<std::string>& beside) {
    if (const char* env = std::getenv("TALVIK_PLUGIN_PATH")) {
        const std::string list = env;
        for (size_t start = 0; start <= list.size();) {
            const size_t end = std::min(list.find(':', start), list.size());
            if (end > start) given.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    given.insert(given.end(), beside.begin(), beside.end());
    return given;
}

}  // namespace talvik::shot
