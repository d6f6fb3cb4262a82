// The vector row generator for AVX2: 8 lanes. Built with -mavx2 and without
// FMA, so nothing is contracted.
#include <immintrin.h>

#include "lens/st_map_row_isa.h"
#include "lens/st_map_row_kernel.h"

namespace talvik::isa {
namespace {

struct Avx2RowOps {
    static constexpr int kLanes = 8;
    // Newton vectors in flight (6 vectors of 8): enough to hide the division
    // latency, measured with bench/st_map_bench.
    static constexpr int kNewtonInterleave = 6;
    using F = RowVectors<kLanes>::F;
    using I = RowVectors<kLanes>::I;
    __attribute__((always_inline)) static F sqrt(F a) { return (F)_mm256_sqrt_ps((__m256)a); }
    __attribute__((always_inline)) static bool any(I m) {
        return _mm256_movemask_ps((__m256)m) != 0;
    }
    __attribute__((always_inline)) static bool all(I m) {
        return _mm256_movemask_ps((__m256)m) == 0xff;
    }
};

}  // namespace

void st_map_row_avx2(const LensModel& lens, FrameSize size, int y, int x0, int x1, float* s,
                     float* t) {
    RowKernel<Avx2RowOps>::row(lens, size, y, x0, x1, s, t);
}

void map_points_avx2(const LensModel& lens, FrameSize size, const double* xy, double* out,
                      unsigned long count) {
    RowKernel<Avx2RowOps>::points(lens, size, xy, out, count);
}

}  // namespace talvik::isa
