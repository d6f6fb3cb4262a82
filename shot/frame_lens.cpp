#include "shot/frame_lens.h"

#include <stdexcept>
#include <string>

namespace talvik::shot {
namespace {

const ControlValue& control(const std::vector<ControlValue>& values, const char* name) {
    for (const ControlValue& v : values)
        if (v.name == name) return v;
    throw std::runtime_error(std::string("the node has no control \"") + name + "\": not a TalvikDistort lens");
}

float number(const std::vector<ControlValue>& values, const char* name) {
    const ControlValue& v = control(values, name);
    if (const float* f = std::get_if<float>(&v.value)) return *f;
    if (const int* i = std::get_if<int>(&v.value)) return static_cast<float>(*i);
    throw std::runtime_error(std::string("the node's control \"") + name + "\" holds no number");
}

// The Mode control's entry name, or its number when it names no entry.
int mode(const std::vector<ControlValue>& values) {
    const ControlValue& v = control(values, "Mode");
    if (const int* i = std::get_if<int>(&v.value)) return *i;
    const std::string& text = std::get<std::string>(v.value);
    if (text == "Distort") return 0;
    if (text == "Undistort") return 1;
    return std::stoi(text);
}

}  // namespace

LensModel frame_lens(const std::vector<ControlValue>& values) {
    LensModel lens;
    lens.mode = mode(values);
    lens.cx = number(values, "cx");
    lens.cy = number(values, "cy");
    lens.fx = number(values, "fx");
    lens.fy = number(values, "fy");
    lens.k1 = number(values, "k1");
    lens.k2 = number(values, "k2");
    lens.anamorphic = number(values, "anamorphic") != 0.0f;
    lens.normalize();
    return lens;
}

}  // namespace talvik::shot
