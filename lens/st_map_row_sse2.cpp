// The vector row generator for SSE2, the x86-64 baseline: 4 lanes.
// Built with -msse2 only.
#include <emmintrin.h>

#include "lens/st_map_row_isa.h"
#include "lens/st_map_row_kernel.h"

namespace talvik::isa {
namespace {

struct Sse2RowOps {
    static constexpr int kLanes = 4;
    // Newton vectors in flight (8 vectors of 4): enough to hide the division
    // latency, measured with bench/st_map_bench.
    static constexpr int kNewtonInterleave = 8;
    using F = RowVectors<kLanes>::F;
    using I = RowVectors<kLanes>::I;
    __attribute__((always_inline)) static F sqrt(F a) { return (F)_mm_sqrt_ps((__m128)a); }
    __attribute__((always_inline)) static bool any(I m) { return _mm_movemask_ps((__m128)m) != 0; }
    __attribute__((always_inline)) static bool all(I m) { return _mm_movemask_ps((__m128)m) == 0xf; }
};

}  // namespace

void st_map_row_sse2(const LensModel& lens, FrameSize size, int y, int x0, int x1, float* s,
                     float* t) {
    RowKernel<Sse2RowOps>::row(lens, size, y, x0, x1, s, t);
}

void map_points_sse2(const LensModel& lens, FrameSize size, const double* xy, double* out,
                      unsigned long count) {
    RowKernel<Sse2RowOps>::points(lens, size, xy, out, count);
}

}  // namespace talvik::isa
