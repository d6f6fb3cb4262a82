// The Nuke script a compositor opens: the plate, the remove-distortion map
// through STMap with the overscan's box, a backdrop where the comp goes, the
// add-distortion map back onto the plate's format, and the undistorted
// camera, animated. Stock nodes and knobs only.
#pragma once

#include <string>
#include <vector>

#include "shot/overscan.h"
#include "shot/undistorted_camera.h"

namespace talvik::pipeline {

struct NukeScriptShot {
    // Files as a Read names them: absolute, a sequence's frame as ####.
    std::string plate;
    std::string remove_map;  // Mode Distort, rendered with `margins`
    std::string add_map;     // Mode Undistort
    int width = 0;           // the plate's format
    int height = 0;
    double pixel_aspect = 1.0;
    int first_frame = 1;
    int last_frame = 1;
    shot::Margins margins;
    std::vector<shot::FrameCamera> cameras;  // keys of the Camera, in frame order
    double haperture = 24.576;               // mm, the Camera's horizontal aperture
};

std::string nuke_script(const NukeScriptShot& shot);

// A knob's text value as .nk scripts quote it: in double quotes, with
// backslash, double quote, '[', ']', '$', '{', '}' and newlines escaped.
std::string nuke_quoted(const std::string& text);

}  // namespace talvik::pipeline
