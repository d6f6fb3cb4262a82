#include "shot/take_camera.h"

#include <stdexcept>

#include "DDImage/Knob.h"
#include "shot/plate_sequence.h"

namespace talvik::shot {
namespace {

constexpr const char* kCameraNameKey = "exr/unreal/cameraName";

}  // namespace

CameraChoice set_take_and_camera(host::Host& host, Node& node, const std::string& fbx,
                                 std::optional<int> chosen, const PlateSequence* plates) {
    DD::Image::Knob* camera = node.knob("camera_index");
    if (!camera) throw std::runtime_error("the node has no camera_index control");
    const double before = camera->value();
    // A number no file name gives shows whether the node took one.
    host.set_value(node, "camera_index", -1);
    host.set_text(node, "fbx_file_path", fbx);
    CameraSources sources;
    sources.chosen = chosen;
    sources.fbx = fbx;
    if (camera->value() != -1) sources.from_file_name = static_cast<int>(camera->value());
    if (plates) {
        sources.sequence = plates->is_sequence();
        const std::vector<int> frames = plates->is_sequence() ? plates->frames() : std::vector<int>{0};
        for (int frame : frames) {
            const auto& metadata = plates->at(frame).metadata;
            const auto it = metadata.find(kCameraNameKey);
            if (it != metadata.end())
                if (const auto* text = std::get_if<std::string>(&it->second))
                    sources.plate_names.push_back({frame, *text});
        }
    }
    const CameraChoice choice = choose_camera(sources);
    host.set_value(node, "camera_index", choice.camera ? *choice.camera : before);
    return choice;
}

}  // namespace talvik::shot
