#include "cli/auto_overscan.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "DDImage/Knob.h"
#include "cli/control_values.h"

namespace talvik::cli {
namespace {

constexpr double kUndistortMode = 1.0;
// Margins beyond any box the command accepts are clamped here; the box
// check then names them.
constexpr double kMarginCap = 1 << 30;

int whole_pixels_beyond(double overhang) {
    return overhang <= 0.0 ? 0 : static_cast<int>(std::min(std::ceil(overhang), kMarginCap));
}

}  // namespace

void add_positions(const host::Image& map, PositionExtent& extent) {
    const double w = map.format.width(), h = map.format.height();
    const std::vector<float>& s = map.channel[0];
    const std::vector<float>& t = map.channel[1];
    for (size_t i = 0; i < s.size(); ++i) {
        if ((s[i] == 0.0f && t[i] == 0.0f) || !std::isfinite(s[i]) || !std::isfinite(t[i])) continue;
        const double x = s[i] * w, y = t[i] * h;
        if (extent.empty) {
            extent = {x, x, y, y, false};
            continue;
        }
        extent.min_x = std::min(extent.min_x, x);
        extent.max_x = std::max(extent.max_x, x);
        extent.min_y = std::min(extent.min_y, y);
        extent.max_y = std::max(extent.max_y, y);
    }
}

Margins margins_holding(const PositionExtent& e, int width, int height) {
    if (e.empty) return {};
    return {whole_pixels_beyond(-e.min_x), whole_pixels_beyond(e.max_x - width),
            whole_pixels_beyond(-e.min_y), whole_pixels_beyond(e.max_y - height)};
}

Margins measure_auto_overscan(host::Host& host, Node& node, const std::vector<int>& frames) {
    const DD::Image::Knob* mode = node.knob("Mode");
    if (!mode) throw std::runtime_error(node.name() + " has no Mode control to measure --overscan auto with");
    const double mode_was = mode->value();
    host.set_value(node, "Mode", kUndistortMode);

    PositionExtent extent;
    host::Image map;
    std::vector<ControlValue> measured_with;
    DD::Image::ChannelSet st(DD::Image::Chan_Red);
    st += DD::Image::Chan_Green;
    for (int frame : frames) {
        std::vector<ControlValue> values = control_values(node, frame);
        if (!map.channel[0].empty() && values == measured_with) continue;
        host.render_into(node, frame, map, st);
        if (map.x != 0 || map.y != 0 || map.width != map.format.width() || map.height != map.format.height())
            throw std::logic_error("--overscan auto measures over the format, not a bounding box");
        add_positions(map, extent);
        measured_with = std::move(values);
    }
    host.set_value(node, "Mode", mode_was);
    return margins_holding(extent, map.format.width(), map.format.height());
}

}  // namespace talvik::cli
