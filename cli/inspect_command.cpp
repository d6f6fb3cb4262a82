#include "cli/inspect_command.h"

#include <map>

#include "shot/terminal_text.h"
#include "host/fbx/fbx_scene.h"
#include "shot/json_output.h"
#include "shot/take_cameras.h"

namespace talvik::cli {

namespace {

using shot::CameraSummary;

void print_text(const std::string& path, double fps, const std::map<int, CameraSummary>& cameras,
                std::FILE* out) {
    std::fprintf(out, "%s: %g fps, %zu lens camera%s\n", shot::terminal_text(path).c_str(), fps, cameras.size(),
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
    const std::map<int, CameraSummary> cameras = shot::lens_cameras(scene);
    if (json) {
        print_json(path, scene.frames_per_second(), cameras, out);
    } else {
        print_text(path, scene.frames_per_second(), cameras, out);
    }
    return cameras.empty() ? 1 : 0;
}

}  // namespace talvik::cli
