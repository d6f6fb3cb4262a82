// Which builds made a map: the command's version, the plug-in it loaded and
// the OpenEXR library it writes with.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace talvik::cli {

// `git describe` of the source this was built from, "1.1.0-3-g1a2b3c4-dirty"
// (the VERSION file's "1.1.0" for a tree without git); also written into
// every map as talvik/version and software, and into the manifest.
const char* command_version();

// The version of the maps the lens model makes, written into every map as
// talvik/lensModel: raised whenever a change to the lens math changes the
// values of a map, so a re-run tells maps of an older model from current ones.
int lens_model_version();

// The OpenEXR library loaded at run time, "3.1.5".
std::string openexr_version();

struct PluginBuild {
    std::string path;      // the library the class was loaded from
    std::string compiled;  // its build string, "Dec  7 2026 for 15.0"
};

// The registration of a node class already loaded. Empty fields when the
// class is not registered.
PluginBuild plugin_build(const char* class_name);

}  // namespace talvik::cli
