// One ST-map row as vectors of Ops::kLanes floats (GCC vector extensions).
// Written once and compiled per instruction set by st_map_row_sse2.cpp,
// st_map_row_avx2.cpp and st_map_row_avx512.cpp, each supplying an Ops with
// the few operations plain vector syntax lacks (sqrt, mask tests) and how
// many vectors the Newton loop works on side by side.
//
// Every lane performs the operations of st_map_row_scalar in the same order,
// so it yields the scalar's bits; see the Newton loop for how lanes that
// finish at different passes are kept apart.
//
// Include this only from those files, and use nothing from the standard
// library here: an inline function emitted out of line in an AVX-512 file
// could otherwise be picked by the linker for the SSE2 path too.
#pragma once

#include "lens/lens_model.h"
#include "lens/newton_step_stop.h"
#include "lens/st_map_row.h"

namespace talvik {
// Internal linkage: each instruction-set file keeps its own instantiations.
namespace {

#if defined(__AVX512F__)
constexpr int kWidestRowLanes = 16;
#elif defined(__AVX__)
constexpr int kWidestRowLanes = 8;
#else
constexpr int kWidestRowLanes = 4;
#endif

template <int N>
struct RowVectors {
    static_assert(N == 4 || N == 8 || N == 16, "4, 8 or 16 float lanes");
    // A vector wider than the file's instruction set compiles, but split
    // into pieces and several times slower: refuse it.
    static_assert(N <= kWidestRowLanes, "vector wider than this file's instruction set");
    typedef float F __attribute__((vector_size(4 * N)));
    typedef int I __attribute__((vector_size(4 * N)));
    typedef unsigned U __attribute__((vector_size(4 * N)));
};

// Per-row constants of Distort mode, in normalized units.
struct DistortRowConstants {
    float width, fx, k1, k2, k3, ufx, ufy, cx, cy;
    float y, yy;  // y = (v - 0.5) / fy and y * y
};

// Per-row constants of Undistort mode, in normalized units.
struct UndistortRowConstants {
    float width, cx, ufx, k1, k2, k3, k1_3, k2_5, k3_7;
    float fx_scaled, fy;  // fx * fx_scale, fy
    float y, yy;          // y = (v - cy) / ufy and y * y
    float max_rd;         // fold.max_rd: larger distorted radii give (0, 0)
    // The lens, when it folds: a pixel below the peak whose Newton solve
    // does not settle on the rising branch takes solve_below_fold's answer.
    // Null otherwise.
    const LensModel* folding_lens;
};

template <class Ops>
struct RowKernel {
    static constexpr int N = Ops::kLanes;
    using F = typename RowVectors<N>::F;
    using I = typename RowVectors<N>::I;
    using U = typename RowVectors<N>::U;

    // float(x), float(x + 1), ...; lanes past INT_MAX wrap instead of
    // overflowing (they only occur past x1 and are never stored).
    // The lane numbers come from one load of a constant: GCC 11 builds a
    // vector filled lane by lane in memory, inside the row loop.
    __attribute__((always_inline)) static F column_floats(int x) {
        static constexpr unsigned kLaneNumbers[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
        U lanes;
        __builtin_memcpy(&lanes, kLaneNumbers, sizeof lanes);
        return __builtin_convertvector((I)(lanes + static_cast<unsigned>(x)), F);
    }

    // Every lane v, as one vector operation: GCC leaves a lane-by-lane fill
    // as N inserts inside the row loop. 1 * v is v for every float, -0 and
    // NaN included (0 + v would turn -0 into +0).
    __attribute__((always_inline)) static F splat(float v) {
        const F ones = F{} + 1.0f;
        return ones * v;
    }

    __attribute__((always_inline)) static F abs(F a) {
        return (F)((U)a & 0x7fffffffu);
    }

    __attribute__((always_inline)) static void distort(const DistortRowConstants& c, int x,
                                                       F& s, F& t) {
        const F u = (column_floats(x) + 0.5f) / c.width;
        const F px = (u - 0.5f) / c.fx;
        distort_lanes(c, px, splat(c.y), splat(c.yy), s, t);
    }

    // Distort of lanes centred and scaled already: px and y as in _distort,
    // yy = y * y. A row's y is the same in every lane, a point's its own.
    __attribute__((always_inline)) static void distort_lanes(const DistortRowConstants& c, F px,
                                                             F y, F yy, F& s, F& t) {
        const F r2 = px * px + yy;
        const F r4 = r2 * r2;
        const F f = ((c.k1 * r2 + 1.0f) + c.k2 * r4) + (r2 * r4) * c.k3;
        s = (px * f) * c.ufx + c.cx;
        t = (y * f) * c.ufy + c.cy;
    }

    // The distorted radius of pixels x, x + 1, ... and their horizontal
    // offset px, in lens units.
    __attribute__((always_inline)) static F distorted_radius(const UndistortRowConstants& c,
                                                             int x, F& px) {
        const F u = (column_floats(x) + 0.5f) / c.width;
        px = (u - c.cx) / c.ufx;
        return Ops::sqrt(px * px + c.yy);
    }

    // Whether any pixel of [x0, x1) may lie past the fold's peak. Every step
    // from x to the radius is monotone in x or in |px|, so the largest radius
    // of the span is at one of its ends; a NaN end counts as past.
    static bool span_reaches_fold(const UndistortRowConstants& c, int x0, int x1) {
        F px;
        const F first = distorted_radius(c, x0, px);
        const F last = distorted_radius(c, x1 - 1, px);
        return !(first[0] <= c.max_rd && last[0] <= c.max_rd);
    }

    // On a lens that folds, lanes below the peak that did not settle on the
    // rising branch [0, fold radius]: they started past the fold radius of a
    // lens peaking beyond it, a step crossed the fold, they cycled until the
    // passes ran out, or settled off the branch. The scalar solve tests the
    // same at the same final r, and such lanes take solve_below_fold's
    // answer. Kept out of line: rare, and the Newton loop keeps its
    // registers.
    __attribute__((noinline, cold)) static void solve_below_fold_lanes(const UndistortRowConstants& c, F r,
                                                                       F rd, I beyond, F& f, I& folded) {
        const F r2 = r * r;
        const F r4 = r2 * r2;
        const F r6 = r2 * r4;
        const F fe = ((c.k1 * r2 + 1.0f) + c.k2 * r4) + c.k3 * r6;
        const F de = ((c.k1_3 * r2 + 1.0f) + c.k2_5 * r4) + c.k3_7 * r6;
        const F step = (fe * r - rd) / de;
        const I settled = (de > 0.0f) & (abs(step) <= kNewtonStopStepMax) & (r >= 0.0f) &
                          (r <= c.folding_lens->fold.radius);
        // A NaN radius keeps its NaN.
        const I below_peak = ~settled & (rd <= c.max_rd) & ~beyond;
        if (!Ops::any(below_peak)) return;
        for (int i = 0; i < N; ++i) {
            if (!below_peak[i]) continue;
            const RadiusSolve inside = solve_below_fold(*c.folding_lens, rd[i]);
            f[i] = inside.factor;
            folded[i] = inside.folded ? -1 : 0;
        }
    }

    // Newton on the radius for N pixels at once, for K vectors side by side
    // so that their division latencies overlap. A lane leaves the loop by
    // folding (D <= 0) or by a small enough step; after that its r is never
    // updated again, so later passes recompute exactly its last F, D and
    // decisions: the lane stays frozen without any per-lane state. All lanes
    // of a vector make their passes together, so the pass count is each
    // lane's budget; a vector whose lanes have all left skips later passes.
    // With kPastFold, a lane past the fold's peak has no position: it solves
    // for radius 0 instead, which settles on the first pass, and is zeroed at
    // the end. Without it, no lane may be past the peak.
    //
    // `lanes` says where the K vectors come from (RowLanes, PointLanes):
    // their offsets px and y from the principal point in lens units, and
    // what a lane without a position holds.
    template <int K, bool kPastFold, class Lanes>
    __attribute__((always_inline)) static void undistort(const UndistortRowConstants& c,
                                                         const Lanes& lanes, F* s, F* t) {
        F px[K], rd[K], r[K], f[K];
        I folded[K], beyond[K];
        bool done[K];
        for (int k = 0; k < K; ++k) {
            const F radius = lanes.radius(k, px[k]);
            if constexpr (kPastFold) {
                beyond[k] = radius > c.max_rd;
                const F none = {};
                rd[k] = beyond[k] ? none : radius;
            } else {
                rd[k] = radius;
            }
            r[k] = rd[k];
            done[k] = false;
            // The first pass sets both for every vector; GCC 11 cannot see it.
            f[k] = F{};
            folded[k] = I{};
        }
        for (int pass = 0; pass < kNewtonBudget; ++pass) {
            bool all_done = true;
            for (int k = 0; k < K; ++k) {
                if (done[k]) continue;
                const F r2 = r[k] * r[k];
                const F r4 = r2 * r2;
                const F r6 = r2 * r4;
                f[k] = ((c.k1 * r2 + 1.0f) + c.k2 * r4) + c.k3 * r6;
                const F d = ((c.k1_3 * r2 + 1.0f) + c.k2_5 * r4) + c.k3_7 * r6;
                const F g = f[k] * r[k] - rd[k];
                folded[k] = d <= 0.0f;
                // Most final passes are settled without the division.
                const I settled = folded[k] | (abs(g) * kNewtonStopShortcutScale < d);
                if (Ops::all(settled)) {
                    done[k] = true;
                    continue;
                }
                const F step = g / d;
                // A NaN step fails the test and keeps its lane moving.
                const I moving = ~folded[k] & ~(abs(step) <= kNewtonStopStepMax);
                if (!Ops::any(moving)) {
                    done[k] = true;
                    continue;
                }
                r[k] = moving ? r[k] - step : r[k];
                all_done = false;
            }
            if (all_done) break;
        }
        for (int k = 0; k < K; ++k) {
            if (c.folding_lens) solve_below_fold_lanes(c, r[k], rd[k], kPastFold ? beyond[k] : I{}, f[k], folded[k]);
            I zero = folded[k] | (f[k] == 0.0f);
            if constexpr (kPastFold) zero |= beyond[k];
            const F qs = c.fx_scaled * (px[k] / f[k]) + 0.5f;
            const F qt = (lanes.y(k) / f[k]) * c.fy + 0.5f;
            s[k] = zero ? lanes.none() : qs;
            t[k] = zero ? lanes.none() : qt;
        }
    }

    // The pixels of a row from column x on: no position is (0, 0).
    struct RowLanes {
        const UndistortRowConstants& c;
        int x;
        __attribute__((always_inline)) F radius(int k, F& px) const {
            return distorted_radius(c, x + k * N, px);
        }
        __attribute__((always_inline)) F y(int) const { return splat(c.y); }
        __attribute__((always_inline)) static F none() { return F{}; }
    };

    // Points of their own: the radius as _undistort_v2 forms it; no
    // position is NaN.
    struct PointLanes {
        const F* px;
        const F* py;
        __attribute__((always_inline)) F radius(int k, F& px_out) const {
            px_out = px[k];
            return Ops::sqrt(px[k] * px[k] + py[k] * py[k]);
        }
        __attribute__((always_inline)) F y(int k) const { return py[k]; }
        __attribute__((always_inline)) static F none() { return splat(__builtin_nanf("")); }
    };

    // Runs kernel(x, s, t), which fills K vectors, over [x, x1) while K
    // whole vectors fit; returns where it stopped.
    template <int K, class Kernel>
    __attribute__((always_inline)) static int whole_vectors(int x, int x1, float* s, float* t,
                                                            Kernel kernel) {
        for (; static_cast<long long>(x1) - x >= K * N; x += K * N) {
            F vs[K], vt[K];
            kernel(x, vs, vt);
            for (int k = 0; k < K; ++k) {
                __builtin_memcpy(s + x + k * N, &vs[k], sizeof vs[k]);
                __builtin_memcpy(t + x + k * N, &vt[k], sizeof vt[k]);
            }
        }
        return x;
    }

    // The last, partial vector of [x, x1): computed whole, stored only
    // where valid.
    template <class Kernel>
    __attribute__((always_inline)) static void remainder(int x, int x1, float* s, float* t,
                                                         Kernel kernel) {
        if (x >= x1) return;
        F vs[1], vt[1];
        kernel(x, vs, vt);
        for (int i = 0; i < x1 - x; ++i) {
            s[x + i] = vs[0][i];
            t[x + i] = vt[0][i];
        }
    }

    static DistortRowConstants distort_constants(const LensModel& lens, FrameSize size) {
        DistortRowConstants c;
        c.width = size.width;
        c.fx = lens.fx;
        c.k1 = lens.k1;
        c.k2 = lens.k2;
        c.k3 = lens.k3;
        c.ufx = lens.undistorted_fx;
        c.ufy = lens.undistorted_fy;
        c.cx = lens.cx;
        c.cy = lens.cy;
        c.y = c.yy = 0.0f;  // per row
        return c;
    }

    static UndistortRowConstants undistort_constants(const LensModel& lens, FrameSize size) {
        UndistortRowConstants c;
        c.width = size.width;
        c.cx = lens.cx;
        c.ufx = lens.undistorted_fx;
        c.k1 = lens.k1;
        c.k2 = lens.k2;
        c.k3 = lens.k3;
        c.k1_3 = 3.0f * lens.k1;
        c.k2_5 = 5.0f * lens.k2;
        c.k3_7 = 7.0f * lens.k3;
        c.fx_scaled = lens.fx * lens.fx_scale;
        c.fy = lens.fy;
        c.y = c.yy = 0.0f;  // per row
        c.max_rd = lens.fold.max_rd;
        c.folding_lens = lens.fold.radius < __builtin_inff() ? &lens : nullptr;
        return c;
    }

    static void row(const LensModel& lens, FrameSize size, int y, int x0, int x1, float* s,
                    float* t) {
        if (x0 >= x1) return;
        const float v = (static_cast<float>(y) + 0.5f) / size.height;
        if (lens.mode == 0) {
            if (lens.fx == 0.0f || lens.fy == 0.0f) return zeros(x0, x1, s, t);
            DistortRowConstants c = distort_constants(lens, size);
            c.y = (v - 0.5f) / lens.fy;
            c.yy = c.y * c.y;
            const auto one = [&c](int x, F* vs, F* vt) { distort(c, x, vs[0], vt[0]); };
            remainder(whole_vectors<1>(x0, x1, s, t, one), x1, s, t, one);
            return;
        }
        if (lens.undistorted_fx == 0.0f || lens.undistorted_fy == 0.0f) {
            return zeros(x0, x1, s, t);
        }
        UndistortRowConstants c = undistort_constants(lens, size);
        c.y = (v - lens.cy) / lens.undistorted_fy;
        c.yy = c.y * c.y;
        // Rows that stay inside the fold (all rows of a lens without one)
        // run the Newton loop without the per-lane test.
        if (span_reaches_fold(c, x0, x1)) {
            undistort_span<true>(c, x0, x1, s, t);
        } else {
            undistort_span<false>(c, x0, x1, s, t);
        }
    }

    // map_points_scalar on vectors, K * N points at a time: each point's
    // coordinates rounded to float and centred as the scalar code does;
    // lanes past the last point are the principal point.
    static void points(const LensModel& lens, FrameSize size, const double* xy, double* out,
                       unsigned long count) {
        constexpr int K = Ops::kNewtonInterleave;
        constexpr unsigned long kGroup = static_cast<unsigned long>(K) * N;
        const bool distort_mode = lens.mode == 0;
        const bool no_lens = distort_mode ? lens.fx == 0.0f || lens.fy == 0.0f
                                          : lens.undistorted_fx == 0.0f || lens.undistorted_fy == 0.0f;
        if (no_lens) {
            for (unsigned long i = 0; i < 2 * count; ++i) out[i] = __builtin_nan("");
            return;
        }
        const DistortRowConstants dc = distort_constants(lens, size);
        const UndistortRowConstants uc = undistort_constants(lens, size);
        const float centre_x = distort_mode ? 0.5f : lens.cx, centre_y = distort_mode ? 0.5f : lens.cy;
        const float scale_x = distort_mode ? lens.fx : lens.undistorted_fx;
        const float scale_y = distort_mode ? lens.fy : lens.undistorted_fy;
        for (unsigned long first = 0; first < count; first += kGroup) {
            const unsigned long n = count - first < kGroup ? count - first : kGroup;
            F px[K], py[K], s[K], t[K];
            for (int k = 0; k < K; ++k) {
                F u, v;
                for (int i = 0; i < N; ++i) {
                    const unsigned long at = static_cast<unsigned long>(k) * N + i;
                    u[i] = at < n ? static_cast<float>(xy[2 * (first + at)]) / size.width : centre_x;
                    v[i] = at < n ? static_cast<float>(xy[2 * (first + at) + 1]) / size.height : centre_y;
                }
                px[k] = (u - centre_x) / scale_x;
                py[k] = (v - centre_y) / scale_y;
            }
            if (distort_mode) {
                for (int k = 0; k < K; ++k) distort_lanes(dc, px[k], py[k], py[k] * py[k], s[k], t[k]);
            } else {
                undistort<K, true>(uc, PointLanes{px, py}, s, t);
            }
            for (unsigned long at = 0; at < n; ++at) {
                out[2 * (first + at)] = static_cast<double>(s[at / N][at % N]) * size.width;
                out[2 * (first + at) + 1] = static_cast<double>(t[at / N][at % N]) * size.height;
            }
        }
    }

    template <bool kPastFold>
    static void undistort_span(const UndistortRowConstants& c, int x0, int x1, float* s,
                               float* t) {
        constexpr int K = Ops::kNewtonInterleave;
        const auto group = [&c](int x, F* vs, F* vt) { undistort<K, kPastFold>(c, RowLanes{c, x}, vs, vt); };
        const auto one = [&c](int x, F* vs, F* vt) { undistort<1, kPastFold>(c, RowLanes{c, x}, vs, vt); };
        const int x = whole_vectors<1>(whole_vectors<K>(x0, x1, s, t, group), x1, s, t, one);
        remainder(x, x1, s, t, one);
    }

    static void zeros(int x0, int x1, float* s, float* t) {
        for (int x = x0; x < x1; ++x) {
            s[x] = 0.0f;
            t[x] = 0.0f;
        }
    }
};

}  // namespace
}  // namespace talvik
