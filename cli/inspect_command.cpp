#include "cli/inspect_command.h"

#include <algorithm>
#include <climits>
#include <map>
#include <vector>

#include "shot/json_output.h"
#include "host/fbx/fbx_scene.h"
#include "lens/lens_model.h"

namespace talvik::cli {

namespace {

struct CameraSummary {
    std::vector<std::string> prefixes;  // lens nodes found
    int first = INT_MAX;
    int last = INT_MIN;
    size_t keys = 0;
    std::vector<std::string> missing;   // lens nodes not found
};

bool all_digits(const std::string& s) {
    return !s.empty() && s.size() < 9 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

namespace {

std::map<int, CameraSummary> summarize(const fbx::Scene& scene) {
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
                    camera.first = std::min(camera.first, frame);
                    camera.last = std::max(camera.last, frame);
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

void print_text(const std::string& path, double fps, const std::map<int, CameraSummary>& cameras,
                std::FILE* out) {
    std::fprintf(out, "%s: %g fps, %zu lens camera%s\n", path.c_str(), fps, cameras.size(),
                 cameras.size() == 1 ? "" : "s");
    for (const auto& [number, camera] : cameras) {
        if (camera.keys == 0) {
            std::fprintf(out, "  camera %d: no keys", number);
        } else {
            std::fprintf(out, "  camera %d: frames %d-%d, %zu keys", number, camera.first, camera.last,
                         camera.keys);
        }
        for (size_t i = 0; i < camera.missing.size(); ++i)
            std::fprintf(out, "%s%s", i == 0 ? ", missing " : ", ", camera.missing[i].c_str());
        std::fprintf(out, "\n");
    }
}

// The same facts as the text, for scripts: frames are null for a camera
// without keys.
void print_json(const std::string& path, double fps, const std::map<int, CameraSummary>& cameras,
                std::FILE* out) {
    shot::Json list = shot::Json::array();
    for (const auto& [number, camera] : cameras) {
        const bool keyed = camera.keys > 0;
        shot::Json entry = shot::Json::object();
        entry["camera"] = number;
        entry["first_frame"] = keyed ? shot::Json(camera.first) : shot::Json(nullptr);
        entry["last_frame"] = keyed ? shot::Json(camera.last) : shot::Json(nullptr);
        entry["keys"] = camera.keys;
        entry["missing"] = camera.missing;
        list.push_back(std::move(entry));
    }
    shot::Json facts = shot::Json::object();
    facts["file"] = path;
    facts["fps"] = fps;
    facts["cameras"] = std::move(list);
    std::fputs((shot::json_text(facts) + "\n").c_str(), out);
}

}  // namespace

int run_inspect(const std::string& path, std::FILE* out, bool json) {
    const fbx::Scene scene = fbx::read_scene(path);
    const std::map<int, CameraSummary> cameras = summarize(scene);
    if (json) {
        print_json(path, scene.frames_per_second(), cameras, out);
    } else {
        print_text(path, scene.frames_per_second(), cameras, out);
    }
    return cameras.empty() ? 1 : 0;
}

}  // namespace talvik::cli
