#include "shot/camera_choice.h"

#include <stdexcept>

#include "shot/usage_error.h"

namespace talvik::shot {
namespace {

std::string from_plate_text(const PlateCameraName& n, bool sequence) {
    std::string text = "the plate's unreal/cameraName " + n.name;
    if (sequence) text += " (frame " + std::to_string(n.frame) + ")";
    return text;
}

// The plate's number; the frames of a sequence must agree on it.
std::optional<PlateCameraName> plate_camera(const CameraSources& s) {
    std::optional<PlateCameraName> first;
    for (const PlateCameraName& n : s.plate_names) {
        if (!camera_from_name(n.name)) continue;
        if (!first) {
            first = n;
        } else if (camera_from_name(n.name) != camera_from_name(first->name)) {
            throw UsageError(
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
        const std::optional<PlateCameraName> plate = plate_camera(s);
        if (!plate) return {0, "camera 0, as chosen, and the plate names none"};
        const int n = *camera_from_name(plate->name);
        return {n, "camera " + std::to_string(n) + ", from " + from_plate_text(*plate, s.sequence) +
                       " (camera 0 chosen)"};
    }
    // A file name digit 0 is the node's "take it from the plate".
    const std::optional<int> by_name =
        s.from_file_name && *s.from_file_name != 0 ? s.from_file_name : std::nullopt;
    const std::optional<PlateCameraName> plate = plate_camera(s);
    const std::optional<int> by_plate = plate ? camera_from_name(plate->name) : std::nullopt;
    const std::string name_text = "the file name " + file_name_of(s.fbx);
    if (by_name && by_plate && *by_name != *by_plate)
        throw UsageError(name_text + " gives camera " + std::to_string(*by_name) + " but " +
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

}  // namespace talvik::shot
