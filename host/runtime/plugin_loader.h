// Finds and loads the plug-in library of a node class: <Class>.so in one of
// the folders of the plug-in path.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace talvik::host {

class PluginLoader {
public:
    explicit PluginLoader(std::vector<std::string> path);
    ~PluginLoader();
    // Loads <class_name>.so from the first folder that has it, once. Throws
    // when the file found is not a regular file (without opening it: a FIFO
    // would block) or cannot load, returns false when no folder has one.
    bool load(const std::string& class_name);
    const std::vector<std::string>& path() const { return path_; }
    // The file load() loaded for the class; empty when it loaded none.
    std::string loaded_file(const std::string& class_name) const;

private:
    std::vector<std::string> path_;
    std::vector<void*> handles_;
    std::vector<std::pair<std::string, std::string>> loaded_;  // class, file
};

}  // namespace talvik::host
