#include "shot/lens_usability.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "lens/lens_model.h"

namespace talvik::shot {
namespace {

// Half the reference frame the panel values are given in (1920 x 1080).
constexpr float kHalfWidth = 960.0f;
constexpr float kHalfHeight = 540.0f;

std::string number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
    return text;
}

LensModel panel_lens(const std::vector<ControlValue>& values) {
    LensModel lens;
    for (const ControlValue& v : values) {
        const float* f = std::get_if<float>(&v.value);
        const int* i = std::get_if<int>(&v.value);
        if (v.name == "anamorphic" && i) lens.anamorphic = *i != 0;
        if (!f) continue;
        if (v.name == "cx") lens.cx = *f;
        if (v.name == "cy") lens.cy = *f;
        if (v.name == "fx") lens.fx = *f;
        if (v.name == "fy") lens.fy = *f;
        if (v.name == "k1") lens.k1 = *f;
        if (v.name == "k2") lens.k2 = *f;
    }
    // As the node normalizes it: fy is fx's unless anamorphic.
    if (!lens.anamorphic) lens.fy = lens.fx;
    return lens;
}

// The format's pixel centre nearest `at` (normalized) along one axis of
// `size` pixels, as the row code places pixel centres.
float nearest_centre(float at, int size) {
    const double pixel = std::clamp(std::floor(static_cast<double>(at) * size), 0.0, size - 1.0);
    return (static_cast<float>(pixel) + 0.5f) / static_cast<float>(size);
}

}  // namespace

std::optional<std::string> unusable_lens(const std::vector<ControlValue>& values, int width, int height) {
    const LensModel lens = panel_lens(values);
    const char* focal_name = !(lens.fx > 0.0f) ? "fx" : !(lens.fy > 0.0f) ? "fy" : nullptr;
    if (focal_name)
        return std::string(focal_name) + " is " + number(focal_name[1] == 'x' ? lens.fx : lens.fy) +
               ": a focal length must be above 0";
    for (const float edge_fitted : {lens.get_undistorted_fx(), lens.get_undistorted_fy()}) {
        if (edge_fitted > 0.0f && std::isfinite(edge_fitted)) continue;
        return "fx " + number(lens.fx) + (lens.anamorphic ? ", fy " + number(lens.fy) : std::string()) + " with k1 " +
               number(lens.k1) + ", k2 " + number(lens.k2) + " give an edge-fitted focal length of " +
               number(edge_fitted) + " px: the lens folds back or collapses before the frame's edge";
    }
    if (std::fabs(lens.cx) > kHalfWidth || std::fabs(lens.cy) > kHalfHeight)
        return "the principal point cx " + number(lens.cx) + ", cy " + number(lens.cy) +
               " lies outside the frame (at most 960 across, 540 up or down)";
    LensModel normalized = lens;
    normalized.normalize();
    const float2 nearest{nearest_centre(normalized.cx, width), nearest_centre(normalized.cy, height)};
    const float2 position = normalized._undistort_v2(nearest);
    if (position.x == 0.0f && position.y == 0.0f)
        return "k1 " + number(lens.k1) + ", k2 " + number(lens.k2) + " with fx " + number(lens.fx) +
               " fold the lens back before any pixel of the " + std::to_string(width) + " x " +
               std::to_string(height) + " format: no pixel has an undistorted position";
    return std::nullopt;
}

}  // namespace talvik::shot
