// What a shot hands to CG and comp beyond its maps: the film back of the
// camera, and the maps a Nuke script reads.
#pragma once

#include <optional>
#include <string>

#include "shot/undistorted_camera.h"

namespace talvik::pipeline {

struct HandoffJob {
    std::optional<shot::FilmBack> film_back;  // none: the camera in pixels, Nuke's default aperture
    std::string remove_map;                   // the Nuke script's remove-distortion map pattern
    std::string add_map;                      // its add-distortion map pattern
};

}  // namespace talvik::pipeline
