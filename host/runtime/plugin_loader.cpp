#include "host/runtime/plugin_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

namespace talvik::host {

PluginLoader::PluginLoader(std::vector<std::string> path) : path_(std::move(path)) {}

// Libraries stay loaded: their registrations and code live as long as the host.
PluginLoader::~PluginLoader() = default;

std::string PluginLoader::loaded_file(const std::string& class_name) const {
    auto it = std::find_if(loaded_.begin(), loaded_.end(),
                           [&](const auto& entry) { return entry.first == class_name; });
    return it == loaded_.end() ? std::string() : it->second;
}

bool PluginLoader::load(const std::string& class_name) {
    if (!loaded_file(class_name).empty()) return true;
    for (const std::string& folder : path_) {
        const std::string file = folder + "/" + class_name + ".so";
        struct stat st {};
        if (stat(file.c_str(), &st) != 0) continue;
        // dlopen would open a FIFO and wait for a writer forever.
        if (!S_ISREG(st.st_mode)) {
            const char* kind = S_ISDIR(st.st_mode) ? "a folder" : S_ISFIFO(st.st_mode) ? "a FIFO" : "a special file";
            throw std::runtime_error("cannot load plug-in " + file + ": it is " + kind +
                                     ", not a regular file");
        }
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            throw std::runtime_error("cannot load plug-in " + file + ": " + (why ? why : "?"));
        }
        handles_.push_back(handle);
        loaded_.emplace_back(class_name, file);
        return true;
    }
    return false;
}

}  // namespace talvik::host
