// Pressing the node's "reload" as the command does, and as the Python
// module's Take does: the take read once first (so a damaged file is named
// as plainly as the reader words it), the camera chosen, then the button's
// script run with a stop seen at its next line; every alert it raises is a
// failure.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "host/runtime/host.h"
#include "shot/camera_choice.h"

namespace talvik::shot {

class PlateSequence;

// The button's script raised: what() is "reload of TAKE failed:" and, on the
// lines after it, the script's traceback.
class ReloadScriptFailed : public std::runtime_error {
public:
    ReloadScriptFailed(const std::string& take, const std::string& traceback)
        : std::runtime_error("reload of " + take + " failed:\n" + traceback), take_(take), traceback_(traceback) {}
    const std::string& take() const { return take_; }
    const std::string& traceback() const { return traceback_; }

private:
    std::string take_, traceback_;
};

struct ReloadSinks {
    // Each alert the script raises, as it raises it (the last one is also
    // in the failure thrown); may be empty.
    std::function<void(const std::string&)> alert;
    // Each line the script prints; may be empty.
    std::function<void(const std::string&)> output;
};

// Sets the take and camera (see take_camera.h) and presses "reload" on
// `node`. `chosen`: the camera asked for, if any; `plates` may be null.
// Throws ReloadScriptFailed for a script error, std::runtime_error
// "reload of TAKE failed: ..." for an alert or naming a damaged key (see
// check_take_keys), io::Stopped on a stop signal. Returns how the camera was
// chosen.
CameraChoice reload_take(host::Host& host, Node& node, const std::string& fbx, std::optional<int> chosen,
                         const PlateSequence* plates, const ReloadSinks& sinks);

}  // namespace talvik::shot
