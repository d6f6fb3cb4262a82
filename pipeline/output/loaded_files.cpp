#include "pipeline/output/loaded_files.h"

#include <fstream>
#include <set>

namespace talvik::pipeline {

std::vector<std::string> loaded_files() {
    // "start-end perms offset dev inode   /path": the path is what follows
    // the inode, from the first '/'; anonymous and special mappings have
    // none, or a name in brackets.
    std::ifstream maps("/proc/self/maps");
    std::set<std::string> seen;
    std::vector<std::string> files;
    for (std::string line; std::getline(maps, line);) {
        const size_t slash = line.find('/');
        if (slash == std::string::npos) continue;
        std::string path = line.substr(slash);
        // A file replaced or removed since it was mapped is no longer there.
        if (path.size() > 10 && path.compare(path.size() - 10, 10, " (deleted)") == 0) continue;
        if (seen.insert(path).second) files.push_back(path);
    }
    return files;
}

}  // namespace talvik::pipeline
