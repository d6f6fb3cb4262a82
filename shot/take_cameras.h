// The lens cameras a take holds, read from the file itself (no reload):
// what `inspect` lists and the Python module's Take.cameras.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "host/fbx/fbx_scene.h"

namespace talvik::shot {

struct CameraSummary {
    std::vector<std::string> prefixes;  // lens nodes found
    int first = 0;                      // keyed frames, when keys > 0
    int last = 0;
    std::size_t keys = 0;
    std::vector<std::string> missing;   // lens nodes not found
};

// Every camera number with a lens node under a default prefix
// (BP_TalvikLensCxCyFOV2 -> camera 2), in ascending order.
std::map<int, CameraSummary> lens_cameras(const fbx::Scene& scene);

}  // namespace talvik::shot
