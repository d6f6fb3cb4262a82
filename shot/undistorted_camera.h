// The camera of the undistorted frame: the ideal frame the remove-distortion
// map (Mode Distort) makes, each of whose pixels looks up where the lens put
// it on the plate. What CG renders with, per frame, in pixels and, given its
// film back, in millimetres and Nuke's camera controls.
#pragma once

#include <optional>
#include <vector>

#include "host/runtime/host.h"
#include "lens/lens_model.h"
#include "shot/json_output.h"
#include "shot/overscan.h"

namespace talvik::shot {

// A pinhole in continuous pixel coordinates of the format: x from its left
// edge, y up from its bottom line (pixel (i, j) spans [i, i + 1] x
// [j, j + 1]). A direction (X, Y, 1), X right and Y up per unit of depth,
// lands at (cx + fx X, cy + fy Y).
struct UndistortedCamera {
    double fx = 0.0;  // pixels of the format per unit of X
    double fy = 0.0;  // pixels of the format per unit of Y
    double cx = 0.0;
    double cy = 0.0;
};

// The lens (normalized) scales the ideal frame by its own focal lengths,
// fx across and fy up, and centres it on the frame centre: the principal
// point is the format's centre, and a lens given for 1920 x 1080 is
// stretched onto any other format per axis, so fx / fy is the plate's
// squeeze only when the format is 16:9.
UndistortedCamera undistorted_camera(const LensModel& lens, int width, int height);

// The CG camera's film back in millimetres: the horizontal aperture spans
// the format's width; the height, when given, is only reported (the
// vertical aperture that reproduces fy is computed).
struct FilmBack {
    double width = 0.0;
    std::optional<double> height;
};

// A camera of focal length `focal` mm with apertures `haperture` x
// `vaperture` mm over the format, reproducing fx and fy.
struct CameraMillimetres {
    double focal = 0.0;
    double haperture = 0.0;
    double vaperture = 0.0;
};
CameraMillimetres camera_millimetres(const UndistortedCamera& camera, int width, int height, double film_width);

// Nuke's screen window for a render of the format grown by `m`.
struct NukeWindow {
    double translate_x = 0.0, translate_y = 0.0;
    double scale_x = 1.0, scale_y = 1.0;
};
NukeWindow nuke_window(const UndistortedCamera& camera, int width, const Margins& m);

struct FrameCamera {
    int frame = 0;
    UndistortedCamera camera;
};

// The camera at each frame from the node's control values there.
std::vector<FrameCamera> frame_cameras(const Node& node, const std::vector<int>& frames, int width, int height);

// One document's worth of frames, each with what renders the format and
// the overscan box (margins m) around it; see undistorted_camera.cpp.
Json undistorted_camera_json(const std::vector<FrameCamera>& frames, int width, int height, const Margins& m,
                             const std::optional<FilmBack>& film_back);

// The document `camera -o` writes: format, overscan, film back and the
// frames.
Json camera_document(const std::vector<FrameCamera>& frames, int width, int height, const Margins& m,
                     const std::optional<FilmBack>& film_back);

}  // namespace talvik::shot
