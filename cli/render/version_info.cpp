#include "cli/render/version_info.h"

#include <dlfcn.h>
#include <openexr_base.h>

#include <exception>
#include <filesystem>

#include "DDImage/Op.h"
#include "host/runtime/host.h"
#include "talvik_version.h"

namespace talvik::cli {

const char* command_version() { return TALVIK_VERSION; }

// 2: distorted radii at or beyond the peak of r*F(r) give (0, 0) in Undistort.
// 3: below the peak, a Newton solve that meets the fold, cycles or settles
//    off the rising branch is solved again on that branch (lenses that fold).
int lens_model_version() { return 3; }

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

}  // namespace talvik::cli
