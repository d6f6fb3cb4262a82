#include "shot/version_info.h"

#include <dlfcn.h>
#include <openexr_base.h>

#include <exception>
#include <filesystem>

#include "DDImage/Op.h"
#include "host/runtime/host.h"
#include "lens/lens_model_version.h"
#include "talvik_version.h"

namespace talvik::shot {

const char* command_version() { return TALVIK_VERSION; }

int lens_model_version() { return plugin_build("TalvikDistort").lens_model; }

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
        // The plug-in's own answer, from the library already loaded.
        if (void* library = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) {
            using Version = int (*)();
            if (auto version = reinterpret_cast<Version>(dlsym(library, "talvik_lens_model_version")))
                build.lens_model = version();
            dlclose(library);
        }
    }
    return build;
}

std::string lens_model_warning(const PluginBuild& plugin) {
    if (plugin.lens_model == kLensModelVersion) return "";
    const std::string own = std::to_string(kLensModelVersion);
    if (plugin.lens_model == 0)
        return "plug-in " + plugin.path + " does not say which lens model it renders (it is older than lens model " +
               own + "): its maps are marked talvik/lensModel 0, and --skip-existing never keeps such maps";
    return "plug-in " + plugin.path + " renders lens model " + std::to_string(plugin.lens_model) +
           ", this command was built with lens model " + own + ": its maps are marked talvik/lensModel " +
           std::to_string(plugin.lens_model);
}

}  // namespace talvik::shot
