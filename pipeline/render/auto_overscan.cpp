#include "pipeline/render/auto_overscan.h"

#include <algorithm>
#include <stdexcept>

#include "DDImage/Knob.h"
#include "pipeline/render/frame_cache.h"
#include "pipeline/render/host_bands.h"
#include "io/stop_signal.h"
#include "shot/control_values.h"

namespace talvik::pipeline {
namespace {

constexpr double kUndistortMode = 1.0;

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

}  // namespace

shot::Margins measure_auto_overscan(host::Host& host, Node& node, const std::vector<int>& frames,
                              const DD::Image::Format& format, ShotEvents& events) {
    const ModeSwitch undistort(host, node, kUndistortMode);
    const DD::Image::Box format_box(0, 0, format.width(), format.height());
    shot::PositionExtent extent;
    FrameCache cache;
    HostBands bands(host);
    // One extent per thread, merged after each frame; a stop signal is seen
    // between bands.
    std::vector<shot::PositionExtent> extents(static_cast<size_t>(host.threads()));
    constexpr int kBandRows = 32;
    events.measuring_started(static_cast<int>(frames.size()));
    for (int frame : frames) {
        const std::vector<shot::ControlValue> values = shot::control_values(node, frame);
        if (cache.holds(values, format_box)) {
            events.frame_measured(frame);
            continue;
        }
        io::throw_if_stopped();
        bands.begin(node, frame, nullptr);
        const io::StMapView g = bands.geometry();
        if (DD::Image::Box(g.x, g.y, g.x + g.width, g.y + g.height) != format_box)
            throw std::logic_error("--overscan auto measures over the format, not a bounding box");
        bands.reserve(kBandRows);
        bands.run((g.height + kBandRows - 1) / kBandRows, [&](int worker, int band) {
            if (io::stop_requested().load()) return;
            const int first = band * kBandRows;
            shot::add_positions(bands.band(worker, first, std::min(kBandRows, g.height - first)), extents[worker]);
        });
        io::throw_if_stopped();
        cache.hold(values, format_box);
        events.frame_measured(frame);
    }
    events.measuring_finished();
    for (const shot::PositionExtent& e : extents) merge(extent, e);
    return shot::margins_holding(extent, format.width(), format.height());
}


}  // namespace talvik::pipeline
