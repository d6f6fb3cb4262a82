#include "cli/inspect_command.h"

#include <map>

#include "cli/output/terminal_print.h"
#include "host/fbx/fbx_scene.h"
#include "shot/json_formats.h"
#include "shot/json_output.h"
#include "shot/take_cameras.h"

namespace talvik::cli {

namespace {

using shot::CameraSummary;

void print_text(const std::string& path, double fps, const std::map<int, CameraSummary>& cameras,
                std::FILE* out) {
    print_message(out, "%s: %g fps, %zu lens camera%s", path.c_str(), fps, cameras.size(),
                  cameras.size() == 1 ? "" : "s");
    for (const auto& [number, camera] : cameras) {
        std::string missing;
        for (size_t i = 0; i < camera.missing.size(); ++i) missing += (i == 0 ? ", missing " : ", ") + camera.missing[i];
        if (camera.keys == 0)
            print_message(out, "  camera %d: no keys%s", number, missing.c_str());
        else
            print_message(out, "  camera %d: frames %d-%d, %zu keys%s", number, camera.first, camera.last,
                          camera.keys, missing.c_str());
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
    shot::Json facts = shot::versioned_object(shot::kInspectFormat);
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
