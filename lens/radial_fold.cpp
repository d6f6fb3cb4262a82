// The first positive zero of D, a polynomial of degree up to 3 in u = r^2,
// by bisection on the pieces where D is monotone: no closed-form cubic, whose
// cancellations lose the root when coefficients differ widely in size.
#include "lens/radial_fold.h"

#include <cmath>

namespace talvik {

namespace {

// D(u) = 1 + a u + b u^2 + c u^3 with a = 3 k1, b = 5 k2, c = 7 k3 (exact in
// double).
struct FoldPolynomial {
    double a, b, c;

    double at(double u) const { return 1.0 + u * (a + u * (b + u * c)); }

    // The coefficient that rules D for large u.
    double leading() const { return c != 0.0 ? c : b != 0.0 ? b : a; }
};

// Positive zeros of D'(u) = a + 2 b u + 3 c u^2, ascending; returns how many.
int turning_points(const FoldPolynomial& p, double out[2]) {
    const double qa = 3.0 * p.c, qb = 2.0 * p.b, qc = p.a;
    double roots[2];
    int count = 0;
    if (qa == 0.0) {
        if (qb != 0.0) roots[count++] = -qc / qb;
    } else {
        const double disc = qb * qb - 4.0 * qa * qc;
        if (disc >= 0.0) {
            // The root of larger magnitude without cancellation, the other
            // from the product of the roots.
            const double q = -0.5 * (qb + std::copysign(std::sqrt(disc), qb));
            roots[count++] = q / qa;
            if (q != 0.0) roots[count++] = qc / q;
        }
    }
    int positive = 0;
    for (int i = 0; i < count; ++i) {
        if (roots[i] > 0.0 && std::isfinite(roots[i])) out[positive++] = roots[i];
    }
    if (positive == 2 && out[0] > out[1]) {
        const double swap = out[0];
        out[0] = out[1];
        out[1] = swap;
    }
    return positive;
}

// D(lo) > 0 >= D(hi): the crossing, to the last bit of a double.
double bisect(const FoldPolynomial& p, double lo, double hi) {
    for (int i = 0; i < 4000; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi) break;
        (p.at(mid) > 0.0 ? lo : hi) = mid;
    }
    return hi;
}

// The first u > 0 with D(u) <= 0, or 0 when there is none.
double first_fold(const FoldPolynomial& p) {
    double ends[2];
    const int turns = turning_points(p, ends);
    double lo = 0.0;  // D(0) = 1
    for (int i = 0; i < turns; ++i) {
        if (p.at(ends[i]) <= 0.0) return bisect(p, lo, ends[i]);
        lo = ends[i];
    }
    // Monotone from lo on: D falls below 0 only if it ends negative.
    if (!(p.leading() < 0.0)) return 0.0;
    double hi = lo > 1.0 ? 2.0 * lo : 1.0;
    while (p.at(hi) > 0.0) {
        lo = hi;
        hi *= 2.0;
        if (!std::isfinite(hi)) return 0.0;
    }
    return bisect(p, lo, hi);
}

// The largest float strictly below a positive double.
float float_below(double value) {
    const float nearest = static_cast<float>(value);
    return static_cast<double>(nearest) < value ? nearest
                                               : std::nextafter(nearest, -HUGE_VALF);
}

}  // namespace

RadialFold find_radial_fold(float k1, float k2, float k3) {
    if (!std::isfinite(k1) || !std::isfinite(k2) || !std::isfinite(k3)) return kNoRadialFold;
    const FoldPolynomial d{3.0 * k1, 5.0 * k2, 7.0 * k3};
    const double u = first_fold(d);
    if (u <= 0.0) return kNoRadialFold;
    const double r = std::sqrt(u);
    // D(r) = 0 there, so an error in r changes the peak only to second order.
    const double peak = r * (1.0 + u * (k1 + u * (static_cast<double>(k2) + u * k3)));
    return {static_cast<float>(r), float_below(peak)};
}

}  // namespace talvik
