// --overscan auto: the margins CG needs so that the Undistort map finds a
// pixel for every plate pixel, measured by rendering that map.
#include "cli/render/overscan.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "DDImage/Knob.h"
#include "cli/render/control_values.h"
#include "cli/render/frame_cache.h"

namespace talvik::cli {
namespace {

constexpr double kUndistortMode = 1.0;
// Margins beyond any box the command accepts are clamped here; the box
// check then names them.
constexpr double kMarginCap = 1 << 30;

int whole_pixels_beyond(double overhang) {
    return overhang <= 0.0 ? 0 : static_cast<int>(std::min(std::ceil(overhang), kMarginCap));
}

// Switches the node's Mode for the measurement and back however it ends.
class ModeSwitch {
public:
    ModeSwitch(host::Host& host, Node& node, double mode) : host_(host), node_(node) {
        const DD::Image::Knob* knob = node.knob("Mode");
        if (!knob) throw std::runtime_error(node.name() + " has no Mode control to measure --overscan auto with");
        was_ = knob->value();
        host.set_value(node, "Mode", mode);
    }
    ~ModeSwitch() {
        try {
            host_.set_value(node_, "Mode", was_);
        } catch (...) {
            // Unwinding already: the first failure is the one to report.
        }
    }
    ModeSwitch(const ModeSwitch&) = delete;
    ModeSwitch& operator=(const ModeSwitch&) = delete;

private:
    host::Host& host_;
    Node& node_;
    double was_ = 0.0;
};

Margins measure_auto_overscan(host::Host& host, Node& node, const std::vector<int>& frames,
                              const DD::Image::Format& format) {
    const ModeSwitch undistort(host, node, kUndistortMode);
    const DD::Image::Box format_box(0, 0, format.width(), format.height());
    DD::Image::ChannelSet st(DD::Image::Chan_Red);
    st += DD::Image::Chan_Green;
    PositionExtent extent;
    FrameCache cache;
    for (int frame : frames) {
        if (!cache.render(host, node, frame, control_values(node, frame), format_box, st)) continue;
        const host::Image& map = cache.image();
        if (DD::Image::Box(map.x, map.y, map.r(), map.t()) != format_box)
            throw std::logic_error("--overscan auto measures over the format, not a bounding box");
        add_positions(map, extent);
    }
    return margins_holding(extent, format.width(), format.height());
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

ResolvedOverscan resolve_overscan(host::Host& host, Node& node, const std::vector<int>& frames,
                                  const DD::Image::Format& format,
                                  const std::optional<OverscanRequest>& request) {
    ResolvedOverscan resolved;
    if (!request) return resolved;
    resolved.text_ = request->text;
    resolved.margins_ = request->kind == OverscanRequest::Kind::Auto
                            ? measure_auto_overscan(host, node, frames, format)
                            : fixed_margins(*request, format.width(), format.height());
    return resolved;
}

}  // namespace talvik::cli
