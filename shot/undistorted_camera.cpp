// Conventions of every number, for a format W x H, margins L, R, B, T (B
// below the bottom line) and the render around it, W' x H' =
// (W + L + R) x (H + B + T):
//
// - "fx", "fy": focal lengths in pixels, across and up; the same in the
//   format and in the render, which only adds pixels around the format.
// - "cx", "cy": the principal point in the format's pixels from its left
//   edge and bottom line, (W/2, H/2); "render_cx", "render_cy": the same in
//   the render's pixels, (L + W/2, B + H/2).
// - Given the film back's width A in mm, the horizontal aperture over the
//   format's width: "focal" = fx A / W mm, "haperture" = A and "vaperture" =
//   focal H / fy, the vertical aperture with which a camera of that focal
//   length reproduces fy (A H / W only when fx = fy).
// - "nuke_camera", for a Camera rendering W' x H': "haperture" and
//   "vaperture" the above times W'/W and H'/H, the focal length unchanged.
//   Nuke projects both axes with the horizontal aperture, in halves of the
//   render's width, and then takes the window as (p - win_translate) /
//   win_scale: "win_scale" (1, fx / fy) makes the vertical scale fy, and
//   "win_translate" ((R - L) / W', (fx / fy) (T - B) / W') puts the
//   principal point at (L + W/2, B + H/2). The overscan report's
//   whole-shot camera is this window at the shot's earliest frame.
#include "shot/undistorted_camera.h"

#include "shot/control_values.h"
#include "shot/frame_checks.h"
#include "shot/frame_lens.h"
#include "shot/json_formats.h"

namespace talvik::shot {

UndistortedCamera undistorted_camera(const LensModel& lens, int width, int height) {
    // The Distort map's ideal pixel u (normalized) looks along
    // X = (u - 0.5) / fx: fx W pixels per unit of X, centred on the frame.
    UndistortedCamera c;
    c.fx = static_cast<double>(lens.fx) * width;
    c.fy = static_cast<double>(lens.fy) * height;
    c.cx = 0.5 * width;
    c.cy = 0.5 * height;
    return c;
}

std::vector<FrameCamera> frame_cameras(const Node& node, const std::vector<int>& frames, int width, int height) {
    std::vector<FrameCamera> out;
    for (int frame : frames) {
        const std::vector<ControlValue> values = control_values(node, frame);
        check_frame_values(values, frame);
        out.push_back({frame, undistorted_camera(frame_lens(values), width, height)});
    }
    return out;
}

CameraMillimetres camera_millimetres(const UndistortedCamera& c, int width, int height, double film_width) {
    CameraMillimetres mm;
    mm.focal = c.fx * film_width / width;
    mm.haperture = film_width;
    // fy 0 (a lens with no focal length) has no aperture to match.
    mm.vaperture = c.fy != 0.0 ? mm.focal * height / c.fy : 0.0;
    return mm;
}

NukeWindow nuke_window(const UndistortedCamera& c, int width, const Margins& m) {
    const double render_w = static_cast<double>(width) + m.left + m.right;
    NukeWindow window;
    window.scale_y = c.fy != 0.0 ? c.fx / c.fy : 1.0;
    window.translate_x = (m.right - m.left) / render_w;
    window.translate_y = window.scale_y * (m.top - m.bottom) / render_w;
    return window;
}

namespace {

Json frame_json(const FrameCamera& f, int width, int height, const Margins& m,
                const std::optional<FilmBack>& film_back) {
    const UndistortedCamera& c = f.camera;
    const double render_w = static_cast<double>(width) + m.left + m.right;
    const double render_h = static_cast<double>(height) + m.bottom + m.top;
    Json out = Json::object();
    out["frame"] = f.frame;
    out["fx"] = c.fx;
    out["fy"] = c.fy;
    out["cx"] = c.cx;
    out["cy"] = c.cy;
    out["render_cx"] = c.cx + m.left;
    out["render_cy"] = c.cy + m.bottom;
    Json nuke = Json::object();
    if (film_back) {
        const CameraMillimetres mm = camera_millimetres(c, width, height, film_back->width);
        out["focal"] = mm.focal;
        out["haperture"] = mm.haperture;
        out["vaperture"] = mm.vaperture;
        nuke["focal"] = mm.focal;
        nuke["haperture"] = mm.haperture * render_w / width;
        nuke["vaperture"] = mm.vaperture * render_h / height;
    }
    const NukeWindow window = nuke_window(c, width, m);
    nuke["win_translate"] = {window.translate_x, window.translate_y};
    nuke["win_scale"] = {window.scale_x, window.scale_y};
    out["nuke_camera"] = nuke;
    return out;
}

}  // namespace

Json undistorted_camera_json(const std::vector<FrameCamera>& frames, int width, int height, const Margins& m,
                             const std::optional<FilmBack>& film_back) {
    Json out = Json::array();
    for (const FrameCamera& f : frames) out.push_back(frame_json(f, width, height, m, film_back));
    return out;
}

Json camera_document(const std::vector<FrameCamera>& frames, int width, int height, const Margins& m,
                     const std::optional<FilmBack>& film_back) {
    Json doc = versioned_object(kCameraFormat);
    doc["format"] = {{"width", width}, {"height", height}};
    doc["overscan"] = {{"left", m.left},
                       {"right", m.right},
                       {"bottom", m.bottom},
                       {"top", m.top},
                       {"width", width + m.left + m.right},
                       {"height", height + m.bottom + m.top}};
    if (film_back) {
        Json back = Json::object();
        back["width"] = film_back->width;
        if (film_back->height) back["height"] = *film_back->height;
        doc["film_back"] = back;
    }
    doc["undistorted_camera"] = undistorted_camera_json(frames, width, height, m, film_back);
    return doc;
}

}  // namespace talvik::shot
