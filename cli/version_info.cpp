#include "cli/version_info.h"

#include <dlfcn.h>
#include <openexr_base.h>

#include <exception>
#include <filesystem>

#include "DDImage/Op.h"
#include "host/runtime/host.h"

namespace talvik::cli {

const char* command_version() { return "1.0.0"; }

std::string openexr_version() {
    int major = 0, minor = 0, patch = 0;
    const char* extra = nullptr;
    exr_get_library_version(&major, &minor, &patch, &extra);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch) +
           (extra ? extra : "");
}

PluginBuild plugin_build(const char* class_name) {
    PluginBuild build;
    const DD::Image::Op::Description* d = DD::Image::Op::Description::find(class_name);
    if (!d) return build;
    if (d->compiled) build.compiled = d->compiled;
    // The registration record lives in the plug-in, so its address names
    // the library it came from.
    Dl_info info{};
    if (dladdr(static_cast<const void*>(d), &info) && info.dli_fname) {
        std::error_code ec;
        const std::filesystem::path full = std::filesystem::canonical(info.dli_fname, ec);
        build.path = ec ? info.dli_fname : full.string();
    }
    return build;
}

int run_version(const std::vector<std::string>& plugin_path, std::FILE* out, std::FILE* err) {
    std::fprintf(out, "talvik-stmap %s\n", command_version());
    int status = 0;
    try {
        host::Host host(plugin_path);
        host.create_node("TalvikDistort");
        const PluginBuild plugin = plugin_build("TalvikDistort");
        std::fprintf(out, "TalvikDistort plug-in built %s, %s\n", plugin.compiled.c_str(), plugin.path.c_str());
    } catch (const std::exception& e) {
        std::fprintf(out, "TalvikDistort plug-in: not loaded\n");
        std::fprintf(err, "talvik-stmap: %s\n", e.what());
        status = 1;
    }
    std::fprintf(out, "OpenEXR %s\n", openexr_version().c_str());
    return status;
}

}  // namespace talvik::cli
