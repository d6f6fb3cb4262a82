// Which builds made a map: the command's version, the plug-in it loaded and
// the OpenEXR library it writes with.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace talvik::shot {

// `git describe` of the source this was built from, "1.1.0-3-g1a2b3c4-dirty"
// (the VERSION file's "1.1.0" for a tree without git); also written into
// every map as talvik/version and software, and into the manifest.
const char* command_version();

// The lens model of the loaded TalvikDistort plug-in, written into every map
// as talvik/lensModel so that a re-run tells maps of another model from its
// own; 0 when the plug-in does not say (a build older than the version).
int lens_model_version();

// The OpenEXR library loaded at run time, "3.1.5".
std::string openexr_version();

struct PluginBuild {
    std::string path;      // the library the class was loaded from
    std::string compiled;  // its build string, "Dec  7 2026 for 15.0"
    int lens_model = 0;    // the lens model it renders; 0: it does not say
};

// The registration of a node class already loaded. Empty fields when the
// class is not registered.
PluginBuild plugin_build(const char* class_name);

// Why the maps of `plugin` are marked with another lens model than this
// command's own; empty when they are not.
std::string lens_model_warning(const PluginBuild& plugin);

}  // namespace talvik::shot
