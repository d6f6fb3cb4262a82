// Built with -ffp-contract=off like the rest of the lens math.
#include "lens/st_map_row.h"

#include <atomic>

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

namespace {

// The generator rows run, chosen when the library loads. A plain lock-free
// atomic rather than a function-local static: a static's first use waits on
// a guard, and rows must never wait. A row that runs before the library's
// initializers (from another library's) chooses for itself; every choice is
// the same, so a race only repeats the work.
std::atomic<RowFunction> chosen_row{nullptr};
static_assert(std::atomic<RowFunction>::is_always_lock_free);

RowFunction choose_row() {
    const RowFunction fastest = row_function(dispatched_row_target());
    chosen_row.store(fastest, std::memory_order_relaxed);
    return fastest;
}

[[maybe_unused]] const RowFunction chosen_at_load = choose_row();

}  // namespace

void st_map_row(const LensModel& lens, FrameSize size, int y, int x0, int x1, float* s,
                float* t) {
    RowFunction fastest = chosen_row.load(std::memory_order_relaxed);
    if (fastest == nullptr) fastest = choose_row();
    fastest(lens, size, y, x0, x1, s, t);
}

}  // namespace talvik
