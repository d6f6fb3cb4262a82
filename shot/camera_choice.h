// Which camera of a take the command reloads. The node takes the number
// from the digit before ".fbx" and, with camera 0, from the plate's
// unreal/cameraName; a versioned file name (take_v002.fbx) then silently
// picks another camera. The command does not guess: when the file name and
// the plate give different numbers it stops and asks for --camera.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace talvik::shot {

// A plate frame's unreal/cameraName.
struct PlateCameraName {
    int frame = 0;           // meaningless for a single plate file
    std::string name;
};

struct CameraSources {
    std::optional<int> chosen;          // --camera, or --set camera_index
    std::string fbx;                    // the take's path
    std::optional<int> from_file_name;  // what the node took from it
    bool sequence = false;              // plate names are per frame
    std::vector<PlateCameraName> plate_names;
};

struct CameraChoice {
    std::optional<int> camera;  // none: the node keeps its own number
    std::string reason;         // "camera 2, from the file name take_cam2.fbx"
};

// The camera number a camera name ends in, by the reload's rule: its last
// digit ("CineCamera12" -> 2). None without a trailing digit.
std::optional<int> camera_from_name(const std::string& camera_name);

// Throws UsageError saying both numbers and how to choose when
// the sources disagree and nothing was chosen.
CameraChoice choose_camera(const CameraSources& sources);

}  // namespace talvik::shot
