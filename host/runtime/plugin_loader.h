// Finds and loads the plug-in library of a node class: <Class>.so in one of
// the folders of the plug-in path.
#pragma once

#include <string>
#include <vector>

namespace talvik::host {

class PluginLoader {
public:
    explicit PluginLoader(std::vector<std::string> path);
    ~PluginLoader();
    // Loads <class_name>.so from the first folder that has it, once. Throws
    // with the loader's message when a library is found but cannot load,
    // returns false when no folder has one.
    bool load(const std::string& class_name);
    const std::vector<std::string>& path() const { return path_; }

private:
    std::vector<std::string> path_;
    std::vector<void*> handles_;
    std::vector<std::string> loaded_;
};

}  // namespace talvik::host
