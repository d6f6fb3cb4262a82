#include "host/runtime/plugin_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

namespace talvik::host {

PluginLoader::PluginLoader(std::vector<std::string> path) : path_(std::move(path)) {}

// Libraries stay loaded: their registrations and code live as long as the host.
PluginLoader::~PluginLoader() = default;

bool PluginLoader::load(const std::string& class_name) {
    if (std::find(loaded_.begin(), loaded_.end(), class_name) != loaded_.end()) return true;
    for (const std::string& folder : path_) {
        const std::string file = folder + "/" + class_name + ".so";
        struct stat st {};
        if (stat(file.c_str(), &st) != 0) continue;
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            throw std::runtime_error("cannot load plug-in " + file + ": " + (why ? why : "?"));
        }
        handles_.push_back(handle);
        loaded_.push_back(class_name);
        return true;
    }
    return false;
}

}  // namespace talvik::host
