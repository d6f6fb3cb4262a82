// The vector row generator for AVX-512 (AVX512F): 16 lanes. AVX512F has
// fused multiply-add instructions; -ffp-contract=off keeps them out.
#include <immintrin.h>

#include "lens/st_map_row_isa.h"
#include "lens/st_map_row_kernel.h"

namespace talvik::isa {
namespace {

struct Avx512RowOps {
    static constexpr int kLanes = 16;
    // Newton vectors in flight (4 vectors of 16): enough to hide the division
    // latency, measured with bench/st_map_bench.
    static constexpr int kNewtonInterleave = 4;
    using F = RowVectors<kLanes>::F;
    using I = RowVectors<kLanes>::I;
    // The masked form with every lane set: _mm512_sqrt_ps starts from an
    // undefined vector that GCC 12 reports as maybe uninitialized.
    __attribute__((always_inline)) static F sqrt(F a) {
        return (F)_mm512_mask_sqrt_ps((__m512)a, static_cast<__mmask16>(0xffff), (__m512)a);
    }
    __attribute__((always_inline)) static bool any(I m) {
        return _mm512_test_epi32_mask((__m512i)m, (__m512i)m) != 0;
    }
    __attribute__((always_inline)) static bool all(I m) {
        return _mm512_test_epi32_mask((__m512i)m, (__m512i)m) == 0xffff;
    }
};

}  // namespace

void st_map_row_avx512(const LensModel& lens, FrameSize size, int y, int x0, int x1, float* s,
                       float* t) {
    RowKernel<Avx512RowOps>::row(lens, size, y, x0, x1, s, t);
}

void map_points_avx512(const LensModel& lens, FrameSize size, const double* xy, double* out,
                      unsigned long count) {
    RowKernel<Avx512RowOps>::points(lens, size, xy, out, count);
}

}  // namespace talvik::isa
