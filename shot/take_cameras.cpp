#include "shot/take_cameras.h"

#include <algorithm>
#include <optional>

#include "lens/lens_model.h"

namespace talvik::shot {
namespace {

bool all_digits(const std::string& s) {
    return !s.empty() && s.size() < 9 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::map<int, CameraSummary> lens_cameras(const fbx::Scene& scene) {
    const char* const prefixes[] = {kDefaultLens1, kDefaultLens2, kDefaultLens3, kDefaultLens4};
    std::map<int, CameraSummary> cameras;
    for (const std::string& name : scene.model_names()) {
        for (const char* prefix : prefixes) {
            const std::string p = prefix;
            if (name.compare(0, p.size(), p) != 0 || !all_digits(name.substr(p.size()))) continue;
            CameraSummary& camera = cameras[std::stoi(name.substr(p.size()))];
            camera.prefixes.push_back(p);
            const std::optional<fbx::Translation> t = scene.translation(name);
            if (!t) continue;
            for (const auto& curve : t->component) {
                if (!curve) continue;
                for (int64_t time : curve->times) {
                    const int frame = scene.frame_of(time);
                    camera.first = camera.keys == 0 ? frame : std::min(camera.first, frame);
                    camera.last = camera.keys == 0 ? frame : std::max(camera.last, frame);
                    ++camera.keys;
                }
            }
        }
    }
    for (auto& [number, camera] : cameras) {
        for (const char* prefix : prefixes) {
            if (std::find(camera.prefixes.begin(), camera.prefixes.end(), prefix) == camera.prefixes.end())
                camera.missing.push_back(std::string(prefix) + std::to_string(number));
        }
    }
    return cameras;
}

}  // namespace talvik::shot
