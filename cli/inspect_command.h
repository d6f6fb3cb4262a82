// talvik-stmap inspect: the lens cameras an FBX take holds.
#pragma once

#include <cstdio>
#include <string>

namespace talvik::cli {

// Lists each camera number with a lens node under a default prefix, its
// keyed frame range and the file's frame rate. Returns 1 when the file holds
// no lens camera. Throws fbx::FbxError for a file that cannot be read.
// With `json` the same facts as one JSON object.
int run_inspect(const std::string& path, std::FILE* out, bool json = false);

}  // namespace talvik::cli
