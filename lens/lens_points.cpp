// Built with -ffp-contract=off like the rest of the lens math.
#include "lens/lens_points.h"

#include <limits>

#include "lens/st_map_row_targets.h"

namespace talvik {

void map_points_scalar(const LensModel& lens, FrameSize size, const double* xy, double* out,
                       std::size_t count) {
    constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    const bool distort = lens.mode == 0;
    for (std::size_t i = 0; i < 2 * count; i += 2) {
        // As the rows form a pixel centre: a float position over a float size.
        const float2 p{static_cast<float>(xy[i]) / size.width, static_cast<float>(xy[i + 1]) / size.height};
        float2 q;
        const bool found = distort ? lens.distort_to(p, q) : lens.undistort_to(p, q);
        out[i] = found ? static_cast<double>(q.x) * size.width : kNone;
        out[i + 1] = found ? static_cast<double>(q.y) * size.height : kNone;
    }
}

void map_points(const LensModel& lens, FrameSize size, const double* xy, double* out, std::size_t count) {
    map_points_on(dispatched_row_target(), lens, size, xy, out, count);
}

}  // namespace talvik
