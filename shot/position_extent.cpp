// Where an Undistort map's positions reach, and the margins that hold them.
#include "shot/overscan.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>


namespace talvik::shot {
namespace {

// Margins beyond any box the command accepts are clamped here; the box
// check then names them.
constexpr double kMarginCap = 1 << 30;

int whole_pixels_beyond(double overhang) {
    return overhang <= 0.0 ? 0 : static_cast<int>(std::min(std::ceil(overhang), kMarginCap));
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

ResolvedOverscan resolve_overscan(const std::optional<OverscanRequest>& request, const DD::Image::Format& format,
                                  const std::function<Margins()>& measure_auto) {
    ResolvedOverscan resolved;
    if (!request) return resolved;
    resolved.text_ = request->text;
    resolved.margins_ = request->kind == OverscanRequest::Kind::Auto
                            ? measure_auto()
                            : fixed_margins(*request, format.width(), format.height());
    return resolved;
}

}  // namespace talvik::shot
