// The lens model in double precision, written from its formulas rather than
// from the float code: panel values to normalized ones, the edge fit, the
// forward model, and its inverse found by bisection on the rising branch.
// The expected values of map tests.
#pragma once

#include <algorithm>
#include <cmath>

#include "tests/support/lens_from_panel.h"

namespace talvik::test {

// F(r) = 1 + k1 r^2 + k2 r^4 + k3 r^6 and D(r), the slope of r F(r).
struct DoubleRadial {
    double k1, k2, k3;
    double f(double r) const {
        const double r2 = r * r;
        return 1.0 + k1 * r2 + k2 * r2 * r2 + k3 * r2 * r2 * r2;
    }
    double d(double r) const {
        const double r2 = r * r;
        return 1.0 + 3.0 * k1 * r2 + 5.0 * k2 * r2 * r2 + 7.0 * k3 * r2 * r2 * r2;
    }
    // First zero of D (where r * F(r) stops rising), or 1e300 when there is
    // none below r = 50.
    double fold_radius() const {
        double lo = 0.0, hi = 0.0;
        for (double r = 0.0; r < 50.0; r += 1e-3) {
            if (d(r) <= 0.0) {
                hi = r;
                break;
            }
            lo = r;
        }
        if (hi == 0.0) return 1e300;
        for (int i = 0; i < 200; ++i) {
            const double mid = 0.5 * (lo + hi);
            (d(mid) > 0.0 ? lo : hi) = mid;
        }
        return lo;
    }
    // Solve r * F(r) = rd on [0, limit], where it rises; false when rd is
    // beyond the fold. Newton in double from `guess` (any radius: it only
    // speeds the search), bisecting whenever a step would leave the bracket,
    // until the bracket or the step is at double resolution.
    bool invert(double rd, double limit, double guess, double* r_out) const {
        double lo = 0.0, hi = std::min(limit, 50.0);
        if (hi * f(hi) < rd) return false;
        double r = guess > lo && guess < hi ? guess : 0.5 * hi;
        for (int i = 0; i < 2000 && hi - lo > 1e-15 * hi; ++i) {
            const double g = r * f(r) - rd;
            if (g == 0.0) break;
            (g < 0.0 ? lo : hi) = r;
            double next = r - g / d(r);
            if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
            if (std::fabs(next - r) <= 1e-16 * r) break;
            r = next;
        }
        *r_out = r;
        return true;
    }
};

// A node's map from its panel values: focal lengths and the principal point
// in pixels of a 1920 x 1080 reference frame, fy following fx unless
// anamorphic, both focal lengths fitted to the reference frame's horizontal
// edge (960 pixels from the centre).
struct DoubleLens {
    double cx, cy, fx, fy, undistorted_fx, undistorted_fy;
    DoubleRadial radial;
    double fold;
    int mode;

    explicit DoubleLens(const PanelLens& panel)
        : radial{panel.k1, panel.k2, 0.0}, mode(panel.mode) {
        const double panel_fx = panel.fx;
        const double panel_fy = panel.anamorphic ? panel.fy : panel.fx;
        undistorted_fx = edge_fit(panel_fx) / 1920.0;
        undistorted_fy = edge_fit(panel_fy) / 1080.0;
        cx = panel.cx / 1920.0 + 0.5;
        cy = -static_cast<double>(panel.cy) / 1080.0 + 0.5;
        fx = panel_fx / 1920.0;
        fy = panel_fy / 1080.0;
        fold = radial.fold_radius();
    }

    // The map's (s, t) at pixel (x, y) of a width x height frame, y counting
    // the host's rows; false where Undistort finds no position.
    bool st(int x, int y, int width, int height, double* s, double* t) const {
        const double u = (x + 0.5) / width, v = (y + 0.5) / height;
        if (mode == 0) {
            const double px = (u - 0.5) / fx, py = (v - 0.5) / fy;
            const double f = radial.f(std::hypot(px, py));
            *s = px * f * undistorted_fx + cx;
            *t = py * f * undistorted_fy + cy;
            return true;
        }
        const double px = (u - cx) / undistorted_fx, py = (v - cy) / undistorted_fy;
        const double rd = std::hypot(px, py);
        double r = 0.0;
        if (!radial.invert(rd, fold, rd, &r)) return false;
        const double f = rd > 0.0 ? rd / r : 1.0;
        *s = fx * kFxScale * (px / f) + 0.5;
        *t = (py / f) * fy + 0.5;
        return true;
    }

    static constexpr double kFxScale = 0.999999f;  // the inverse's horizontal factor, as a float

    // The focal length that maps the distorted reference edge onto that
    // edge: focal / F(960 / focal) with k3 left out; 960 for a focal of 0.
    double edge_fit(double focal) const {
        if (focal == 0.0) return 960.0;
        const double r = 960.0 / focal;
        return focal / (1.0 + radial.k1 * r * r + radial.k2 * r * r * r * r);
    }
};

}  // namespace talvik::test
