// --overscan auto: the margins CG needs so that the Undistort map finds a
// pixel for every plate pixel, measured by rendering that map.
#include "cli/render/overscan.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "DDImage/Knob.h"
#include "cli/render/control_values.h"
#include "cli/render/frame_cache.h"
#include "cli/render/host_bands.h"
#include "io/stop_signal.h"

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
    PositionExtent extent;
    FrameCache cache;
    HostBands bands(host);
    // One extent per thread, merged after each frame; a stop signal is seen
    // between bands.
    std::vector<PositionExtent> extents(static_cast<size_t>(host.threads()));
    constexpr int kBandRows = 32;
    for (int frame : frames) {
        const std::vector<ControlValue> values = control_values(node, frame);
        if (cache.holds(values, format_box)) continue;
        io::throw_if_stopped();
        bands.begin(node, frame, nullptr);
        const io::StMapView g = bands.geometry();
        if (DD::Image::Box(g.x, g.y, g.x + g.width, g.y + g.height) != format_box)
            throw std::logic_error("--overscan auto measures over the format, not a bounding box");
        bands.reserve(kBandRows);
        bands.run((g.height + kBandRows - 1) / kBandRows, [&](int worker, int band) {
            if (io::stop_requested().load()) return;
            const int first = band * kBandRows;
            add_positions(bands.band(worker, first, std::min(kBandRows, g.height - first)), extents[worker]);
        });
        io::throw_if_stopped();
        cache.hold(values, format_box);
    }
    for (const PositionExtent& e : extents) merge(extent, e);
    return margins_holding(extent, format.width(), format.height());
}

}  // namespace

void add_positions(const io::StMapView& map, PositionExtent& extent) {
    const double w = map.display_width(), h = map.display_height();
    const size_t count = map.index(0, map.height);
    for (size_t i = 0; i < count; ++i) {
        const float s = map.s[i], t = map.t[i];
        if ((s == 0.0f && t == 0.0f) || !std::isfinite(s) || !std::isfinite(t)) continue;
        const double x = s * w, y = t * h;
        merge(extent, {x, x, y, y, false});
    }
}

void merge(PositionExtent& extent, const PositionExtent& more) {
    if (more.empty) return;
    if (extent.empty) {
        extent = more;
        return;
    }
    extent.min_x = std::min(extent.min_x, more.min_x);
    extent.max_x = std::max(extent.max_x, more.max_x);
    extent.min_y = std::min(extent.min_y, more.min_y);
    extent.max_y = std::max(extent.max_y, more.max_y);
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
