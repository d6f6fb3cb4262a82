#include "cli/camera_choice.h"

#include <stdexcept>

#include "DDImage/Knob.h"
#include "cli/plate_sequence.h"

namespace talvik::cli {
namespace {

constexpr const char* kCameraNameKey = "exr/unreal/cameraName";

std::string from_plate_text(const PlateCameraName& n, bool sequence) {
    std::string text = "the plate's unreal/cameraName " + n.name;
    if (sequence) text += " (frame " + std::to_string(n.frame) + ")";
    return text;
}

// The plate's number; the frames of a sequence must agree on it.
std::optional<PlateCameraName> plate_camera(const CameraSources& s, bool must_agree) {
    std::optional<PlateCameraName> first;
    for (const PlateCameraName& n : s.plate_names) {
        if (!camera_from_name(n.name)) continue;
        if (!first) {
            first = n;
        } else if (must_agree && camera_from_name(n.name) != camera_from_name(first->name)) {
            throw std::invalid_argument(
                "the plate's frames name different cameras: " + first->name + " (camera " +
                std::to_string(*camera_from_name(first->name)) + ") at frame " + std::to_string(first->frame) +
                ", " + n.name + " (camera " + std::to_string(*camera_from_name(n.name)) + ") at frame " +
                std::to_string(n.frame) + "; choose one with --camera N");
        }
    }
    return first;
}

std::string file_name_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<int> camera_from_name(const std::string& camera_name) {
    std::string name = camera_name;
    // The reload matches with Python's "$", which also matches before one
    // final line feed.
    if (!name.empty() && name.back() == '\n') name.pop_back();
    if (name.empty() || name.back() < '0' || name.back() > '9') return std::nullopt;
    return name.back() - '0';
}

CameraChoice choose_camera(const CameraSources& s) {
    if (s.chosen) {
        if (*s.chosen != 0) return {s.chosen, "camera " + std::to_string(*s.chosen) + ", as chosen"};
        // Camera 0 asks the node to take the number from the plate.
        const std::optional<PlateCameraName> plate = plate_camera(s, true);
        if (!plate) return {0, "camera 0, as chosen, and the plate names none"};
        const int n = *camera_from_name(plate->name);
        return {n, "camera " + std::to_string(n) + ", from " + from_plate_text(*plate, s.sequence) +
                       " (camera 0 chosen)"};
    }
    // A file name digit 0 is the node's "take it from the plate".
    const std::optional<int> by_name =
        s.from_file_name && *s.from_file_name != 0 ? s.from_file_name : std::nullopt;
    const std::optional<PlateCameraName> plate = plate_camera(s, true);
    const std::optional<int> by_plate = plate ? camera_from_name(plate->name) : std::nullopt;
    const std::string name_text = "the file name " + file_name_of(s.fbx);
    if (by_name && by_plate && *by_name != *by_plate)
        throw std::invalid_argument(name_text + " gives camera " + std::to_string(*by_name) + " but " +
                                    from_plate_text(*plate, s.sequence) + " gives camera " +
                                    std::to_string(*by_plate) + "; choose one with --camera N (--camera " +
                                    std::to_string(*by_name) + " or --camera " + std::to_string(*by_plate) +
                                    ")");
    if (by_name && by_plate)
        return {by_name, "camera " + std::to_string(*by_name) + ", from " + name_text + " and " +
                             from_plate_text(*plate, s.sequence)};
    if (by_name) return {by_name, "camera " + std::to_string(*by_name) + ", from " + name_text};
    if (by_plate)
        return {by_plate, "camera " + std::to_string(*by_plate) + ", from " + from_plate_text(*plate, s.sequence)};
    return {std::nullopt, "no camera: neither --camera, the file name " + file_name_of(s.fbx) +
                              " nor the plate gives one"};
}

std::optional<int> chosen_camera(const Node& node, const RenderOptions& options) {
    if (options.camera) return options.camera;
    for (const auto& [name, value] : options.sets)
        if (name == "camera_index")
            if (const DD::Image::Knob* k = node.knob("camera_index")) return static_cast<int>(k->value());
    return std::nullopt;
}

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

}  // namespace talvik::cli
