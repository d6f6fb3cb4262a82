// Single precision in a fixed operation order: this file must be built with
// -ffp-contract=off (never -ffast-math) so every build gives the same bits.
#include "lens/lens_model.h"

#include <cmath>

#include "lens/newton_step_stop.h"

namespace talvik {

namespace {

constexpr double kNewtonTolerance = 1e-5;

float edge_fitted_focal(float focal, float k1, float k2) {
    if (focal == 0.0f) {
        return 960.0f;
    }
    const float r = 960.0f / focal;
    const float r2 = r * r;
    const float d = ((k2 * r2 + k1) * r2 + 1.0f) * r;
    return 960.0f / d;
}

}  // namespace

float LensModel::get_undistorted_fx() const { return edge_fitted_focal(fx, k1, k2); }

float LensModel::get_undistorted_fy() const { return edge_fitted_focal(fy, k1, k2); }

void LensModel::normalize() {
    if (!anamorphic) {
        fy = fx;
    }
    // The edge fit reads the panel-unit focal lengths, so it comes first.
    undistorted_fx = get_undistorted_fx() / 1920.0f;
    undistorted_fy = get_undistorted_fy() / 1080.0f;
    cx = cx / 1920.0f + 0.5f;
    cy = (-cy) / 1080.0f + 0.5f;  // panel cy points towards row 0
    fx = fx / 1920.0f;
    fy = fy / 1080.0f;
    fold = find_radial_fold(k1, k2, k3);
}

float2 LensModel::_distort(float2 p) const {
    float2 out;
    distort_to(p, out);
    return out;
}

bool LensModel::distort_to(float2 p, float2& out) const {
    if (fx == 0.0f || fy == 0.0f) {
        out = {0.0f, 0.0f};
        return false;
    }
    const float x = (p.x - 0.5f) / fx;
    const float y = (p.y - 0.5f) / fy;
    const float r2 = x * x + y * y;
    const float r4 = r2 * r2;
    const float f = ((k1 * r2 + 1.0f) + k2 * r4) + (r2 * r4) * k3;
    out = {(x * f) * undistorted_fx + cx, (y * f) * undistorted_fy + cy};
    return true;
}

namespace {

// F(r) and D(r), the derivative of r * F(r), in the solve's operation order.
struct Radial {
    explicit Radial(const LensModel& lens)
        : k1(lens.k1), k2(lens.k2), k3(lens.k3), k1_3(3.0f * lens.k1), k2_5(5.0f * lens.k2),
          k3_7(7.0f * lens.k3) {}

    void at(float r, float& f, float& d) const {
        const float r2 = r * r;
        const float r4 = r2 * r2;
        const float r6 = r2 * r4;
        f = ((k1 * r2 + 1.0f) + k2 * r4) + k3 * r6;
        d = ((k1_3 * r2 + 1.0f) + k2_5 * r4) + k3_7 * r6;
    }

    float k1, k2, k3, k1_3, k2_5, k3_7;
};

bool stops(float step) { return std::fabs(static_cast<double>(step)) < kNewtonTolerance; }

}  // namespace

RadiusSolve solve_undistorted_radius(const LensModel& lens, float rd) {
    const Radial radial(lens);
    float r = rd;
    RadiusSolve out{1.0f, 0, false};
    // At or beyond the peak of r*F(r) there is nothing to find, and Newton
    // could step over the fold onto the outer branch and settle there.
    if (rd > lens.fold.max_rd) {
        out.folded = true;
        return out;
    }
    bool met_fold = false;
    for (int budget = kNewtonBudget; budget > 0; --budget) {
        float d;
        radial.at(r, out.factor, d);
        const float g = out.factor * r - rd;
        // Past the first zero of D the curve r*F(r) folds back.
        if (d <= 0.0f) {
            met_fold = true;
            break;
        }
        const float step = g / d;
        // Stop on the magnitude of the step; a NaN step never stops early.
        if (stops(step)) break;
        r = r - step;
        ++out.updates;
    }
    // On a lens that folds, below the peak the inverse lies on the rising
    // branch [0, fold radius]. A solve that did not settle there (it met the
    // fold, cycled until the passes ran out, as Newton can near the fold
    // where D is small, or settled off the branch) is done again there.
    if (std::isfinite(lens.fold.radius) && rd <= lens.fold.max_rd) {
        float f, d;
        radial.at(r, f, d);
        const bool settled = d > 0.0f && stops((f * r - rd) / d) && r >= 0.0f && r <= lens.fold.radius;
        if (!settled) {
            const RadiusSolve inside = solve_below_fold(lens, rd);
            return {inside.factor, out.updates + inside.updates, inside.folded};
        }
    }
    out.folded = met_fold;
    return out;
}

RadiusSolve solve_below_fold(const LensModel& lens, float rd) {
    if (!std::isfinite(lens.fold.radius)) return {1.0f, 0, true};
    const Radial radial(lens);
    // r * F(r) - rd is below 0 at lo and above it at hi (at the fold radius
    // it may round below: the answer is then the fold radius itself).
    float lo = 0.0f;
    float hi = lens.fold.radius;
    float r = 0.5f * hi;
    RadiusSolve out{1.0f, 0, false};
    // Bisection alone would reach the stop within about 20 passes from a
    // bracket of 1; Newton steps, taken where they stay inside, only speed
    // it up except where r * F(r) is nearly flat.
    constexpr int kBracketBudget = 2 * kNewtonBudget;
    for (int budget = kBracketBudget; budget > 0; --budget) {
        float f, d;
        radial.at(r, f, d);
        const float g = f * r - rd;
        if (g == 0.0f) break;
        (g > 0.0f ? hi : lo) = r;
        float next = d > 0.0f ? r - g / d : hi;
        if (!(next > lo && next < hi)) next = 0.5f * (lo + hi);
        const float step = next - r;
        r = next;
        ++out.updates;
        if (stops(step)) break;
    }
    float d;
    radial.at(r, out.factor, d);
    return out;
}

float2 LensModel::_undistort_v2(float2 p) const {
    float2 out;
    undistort_to(p, out);
    return out;
}

bool LensModel::undistort_to(float2 p, float2& out) const {
    out = {0.0f, 0.0f};
    if (undistorted_fx == 0.0f || undistorted_fy == 0.0f) {
        return false;
    }
    const float x = (p.x - cx) / undistorted_fx;
    const float y = (p.y - cy) / undistorted_fy;
    const float rd = std::sqrt(x * x + y * y);
    const RadiusSolve solve = solve_undistorted_radius(*this, rd);
    if (solve.folded || solve.factor == 0.0f) {
        return false;
    }
    const float f = solve.factor;
    out = {(fx * fx_scale) * (x / f) + 0.5f, (y / f) * fy + 0.5f};
    return true;
}

float2 LensModel::_undistort(float2 p) const {
    const float x0 = (p.x - cx) / (fx * fx_scale);
    const float y0 = (p.y - cy) / fy;
    const float p1_2 = 2.0f * p1;
    const float p2_2 = 2.0f * p2;
    float x = x0;
    float y = y0;
    for (int i = 0; i < 5; ++i) {
        const float r2 = y * y + x * x;
        const float r4 = r2 * r2;
        const float f = ((k1 * r2 + 1.0f) + k2 * r4) + (r4 * r2) * k3;
        if (f == 0.0f) {
            break;
        }
        const float dx = (2.0f * (x * x) + r2) * p2 + (p1_2 * x) * y;
        const float dy = (2.0f * (y * y) + r2) * p1 + (p2_2 * x) * y;
        x = (x0 - dx) / f;
        y = (y0 - dy) / f;
    }
    return {x * undistorted_fx + 0.5f, y * undistorted_fy + 0.5f};
}

}  // namespace talvik
