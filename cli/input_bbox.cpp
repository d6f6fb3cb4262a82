#include "cli/input_bbox.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "cli/auto_overscan.h"

namespace talvik::cli {
namespace {

std::string box_text(long long x, long long y, long long r, long long t) {
    return "(" + std::to_string(x) + "," + std::to_string(y) + ")-(" + std::to_string(r) + "," +
           std::to_string(t) + ")";
}

}  // namespace

std::optional<Margins> overscan_margins(host::Host& host, Node& node, const std::vector<int>& frames,
                                        const DD::Image::Format& format,
                                        const std::optional<OverscanRequest>& overscan) {
    if (!overscan) return std::nullopt;
    if (overscan->kind == OverscanRequest::Kind::Auto) return measure_auto_overscan(host, node, frames);
    return fixed_margins(*overscan, format.width(), format.height());
}

DD::Image::Box input_box(const DD::Image::Format& format, const PlateHeader* plate,
                         const std::optional<Margins>& margins, const std::optional<OverscanRequest>& overscan) {
    // Exclusive bounds in long long: margins and data windows may be huge.
    long long x = 0, y = 0, r = format.width(), t = format.height();
    std::string reason = "the format";
    if (plate) {
        x = plate->bbox.min.x;
        y = plate->bbox.min.y;
        r = static_cast<long long>(plate->bbox.max.x) + 1;
        t = static_cast<long long>(plate->bbox.max.y) + 1;
        reason = "the data window of plate \"" + plate->path + "\"";
    }
    if (margins) {
        const Margins& m = *margins;
        x = std::min<long long>(x, -static_cast<long long>(m.left));
        y = std::min<long long>(y, -static_cast<long long>(m.bottom));
        r = std::max<long long>(r, static_cast<long long>(format.width()) + m.right);
        t = std::max<long long>(t, static_cast<long long>(format.height()) + m.top);
        reason += (plate ? " and " : " grown by ") + std::string("--overscan ") + (overscan ? overscan->text : "") +
                  " (left " + std::to_string(m.left) + ", right " + std::to_string(m.right) + ", bottom " +
                  std::to_string(m.bottom) + ", top " + std::to_string(m.top) + ")";
    }
    if (r - x > kMaxBoxSide || t - y > kMaxBoxSide) {
        throw std::invalid_argument("the input's bounding box " + box_text(x, y, r, t) + " would be " +
                                    std::to_string(r - x) + "x" + std::to_string(t - y) +
                                    " pixels, more than " + std::to_string(kMaxBoxSide) +
                                    " on a side; it comes from " + reason);
    }
    return DD::Image::Box(static_cast<int>(x), static_cast<int>(y), static_cast<int>(r), static_cast<int>(t));
}

}  // namespace talvik::cli
