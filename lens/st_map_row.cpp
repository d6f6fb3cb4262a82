// Built with -ffp-contract=off like the rest of the lens math.
#include "lens/st_map_row.h"

#include "lens/st_map_row_targets.h"

namespace talvik {

FrameSize frame_size_from(int width, int height) {
    FrameSize size;
    if (width != 0) {
        size.width = static_cast<float>(width);
    }
    if (height != 0) {
        size.height = static_cast<float>(height);
    }
    return size;
}

void st_map_row_scalar(const LensModel& lens, FrameSize size, int y, int x0, int x1,
                       float* s, float* t) {
    if (x0 >= x1) {
        return;
    }
    const float v = (static_cast<float>(y) + 0.5f) / size.height;
    const bool distort = lens.mode == 0;
    for (int x = x0; x < x1; ++x) {
        const float2 p{(static_cast<float>(x) + 0.5f) / size.width, v};
        const float2 q = distort ? lens._distort(p) : lens._undistort_v2(p);
        s[x] = q.x;
        t[x] = q.y;
    }
}

}  // namespace talvik

namespace talvik {

void st_map_row(const LensModel& lens, FrameSize size, int y, int x0, int x1, float* s,
                float* t) {
    // Chosen once, thread-safely; afterwards a plain call with no lock.
    static const RowFunction fastest = row_function(dispatched_row_target());
    fastest(lens, size, y, x0, x1, s, t);
}

}  // namespace talvik
