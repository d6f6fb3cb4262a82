#include "pipeline/farm/deep_check.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>

#include "exr/st_map_pixels.h"
#include "pipeline/render/map_in_memory.h"

namespace talvik::pipeline {
namespace {

// Floats in the order of their values, so that the distance between two is
// how many floats lie between them.
int64_t ordered(float value) {
    int32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits < 0 ? -static_cast<int64_t>(bits & 0x7fffffff) : bits;
}

std::string number(double value) {
    std::ostringstream text;
    text.precision(9);
    text << value;
    return text.str();
}

std::string pixel(const exr::StMapPixels& p, size_t i) {
    return "pixel (" + std::to_string(p.x + static_cast<int>(i % p.width)) + ", " +
           std::to_string(p.y + static_cast<int>(i / p.width)) + ")";
}

std::optional<std::string> plane_difference(const exr::StMapPixels& file, const std::vector<float>& found,
                                            const std::vector<float>& made, const char* channel) {
    for (size_t i = 0; i < made.size(); ++i) {
        if (std::memcmp(&found[i], &made[i], sizeof(float)) == 0) continue;
        std::string why = pixel(file, i) + " " + channel + " is " + number(found[i]) + ", this shot's values make " +
                          number(made[i]);
        if (std::isfinite(found[i]))
            why += " (" + number(std::fabs(static_cast<double>(found[i]) - made[i])) + " off, " +
                   std::to_string(std::llabs(ordered(found[i]) - ordered(made[i]))) + " ULP)";
        return why;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> deep_difference(RenderPlan& plan, int frame, const std::string& path) {
    exr::StMapPixels file;
    try {
        file = exr::read_st_map_pixels(path);
    } catch (const std::exception& e) {
        return std::string("it does not decode: ") + e.what();
    }
    const exr::StMapPixels made = render_map_in_memory(plan, frame);
    if (file.x != made.x || file.y != made.y || file.width != made.width || file.height != made.height)
        return "its pixels lie elsewhere than this shot's values place them";
    if (auto why = plane_difference(file, file.r, made.r, "R")) return "its pixels differ: " + *why;
    if (auto why = plane_difference(file, file.g, made.g, "G")) return "its pixels differ: " + *why;
    if (file.a.size() != made.a.size()) return "its A channel is not the one this shot's values make";
    for (size_t i = 0; i < made.a.size(); ++i)
        if (file.a[i] != made.a[i])
            return "its pixels differ: " + pixel(file, i) + " A holds half bits " + std::to_string(file.a[i]) +
                   ", this shot's values make " + std::to_string(made.a[i]);
    return std::nullopt;
}

}  // namespace talvik::pipeline
