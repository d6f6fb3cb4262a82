#include "shot/take_reload.h"

#include <stdexcept>
#include <vector>

#include "host/fbx/fbx_scene.h"
#include "host/python/python_scripting.h"
#include "io/stop_signal.h"
#include "shot/frame_checks.h"
#include "shot/take_camera.h"

namespace talvik::shot {

CameraChoice reload_take(host::Host& host, Node& node, const std::string& fbx, std::optional<int> chosen,
                         const PlateSequence* plates, const ReloadSinks& sinks) {
    std::vector<std::string> alerts;
    host.set_alert_sink([&](const std::string& text) {
        alerts.push_back(text);
        if (sinks.alert) sinks.alert(text);
    });
    host.set_output_sink([&](const std::string& text) {
        if (sinks.output) sinks.output(text);
    });
    if (fbx.size() >= 4 && fbx.compare(fbx.size() - 4, 4, ".fbx") == 0) fbx::read_scene(fbx);
    const CameraChoice camera = set_take_and_camera(host, node, fbx, chosen, plates);
    // A stop ends the script at its next line.
    host.set_stop_check([] { return io::stop_requested().load(); });
    try {
        host.press(node, "reload");
        io::throw_if_stopped();
    } catch (const host::ScriptError& e) {
        io::throw_if_stopped();
        throw ReloadScriptFailed(fbx, e.what());
    }
    if (!alerts.empty()) {
        // Camera 0 is what is left when nothing named a camera.
        const bool no_camera = !chosen && alerts.back().find("for camera 0 ") != std::string::npos;
        throw std::runtime_error("reload of " + fbx + " failed: " + alerts.back() +
                                 (no_camera ? "; give --camera N to pick the camera" : ""));
    }
    check_take_keys(node, fbx);
    return camera;
}

}  // namespace talvik::shot
