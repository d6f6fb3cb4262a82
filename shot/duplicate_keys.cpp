#include "shot/duplicate_keys.h"

#include <algorithm>
#include <cmath>

#include "DDImage/Knob.h"
#include "host/fbx/fbx_scene.h"
#include "shot/frame_range.h"

namespace talvik::shot {
namespace {

// The channels the reload copies: the control holding the node-name
// prefix, the translation axis, and the control it fills.
struct LensChannel {
    const char* prefix_control;
    int axis;
    const char* control;
};
constexpr LensChannel kChannels[] = {{"lens1", 0, "cx"}, {"lens1", 2, "cy"}, {"lens2", 0, "k1"}, {"lens2", 2, "k2"},
                                     {"lens3", 0, "fx"}, {"lens3", 1, "anamorphic"}, {"lens4", 0, "fy"}};

}  // namespace

std::vector<std::string> duplicate_key_warnings(const Node& node, const std::string& take) {
    const DD::Image::Knob* camera_knob = node.knob("camera_index");
    const std::string camera = camera_knob ? std::to_string(std::lround(camera_knob->value())) : "0";
    const fbx::Scene scene = fbx::read_scene(take);
    std::vector<std::string> warnings;
    for (const LensChannel& channel : kChannels) {
        const DD::Image::Knob* prefix = node.knob(channel.prefix_control);
        if (!prefix) continue;
        const std::string model = std::string(prefix->get_text()) + camera;
        const std::optional<fbx::Translation> translation = scene.translation(model);
        if (!translation || !translation->component[channel.axis]) continue;
        std::vector<int> frames;
        for (int64_t time : translation->component[channel.axis]->times) frames.push_back(scene.frame_of(time));
        std::sort(frames.begin(), frames.end());
        std::vector<int> twice;
        for (size_t i = 1; i < frames.size(); ++i)
            if (frames[i] == frames[i - 1] && (twice.empty() || twice.back() != frames[i])) twice.push_back(frames[i]);
        if (twice.empty()) continue;
        warnings.push_back("take \"" + take + "\": " + model + " gives its " + "XYZ"[channel.axis] + " channel (" +
                           channel.control + ") more than one key at frame" + (twice.size() == 1 ? " " : "s ") +
                           format_frames(twice) + "; the reload keeps the last");
    }
    return warnings;
}

}  // namespace talvik::shot
