// The fold of the radial model against an independent search: the first
// local maximum of r * F(r), found by walking r geometrically and refining
// by golden-section search on r * F(r) itself (not on its derivative).
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "lens/lens_model.h"
#include "lens/radial_fold.h"

namespace talvik {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

struct PeakSearch {
    bool found;
    double radius;
    double peak;
};

// r * F(r) in double, in the plain textbook form.
double height(float k1, float k2, float k3, double r) {
    const double r2 = r * r;
    return r * (1.0 + k1 * r2 + k2 * r2 * r2 + static_cast<double>(k3) * r2 * r2 * r2);
}

// The first radius, from 1e-20 to 1e10, where r * F(r) stops rising.
PeakSearch first_peak(float k1, float k2, float k3) {
    constexpr double kRatio = 1.0001;
    double before = 1e-20;
    double at = before * kRatio;
    for (double next = at * kRatio; next < 1e10; next *= kRatio) {
        if (height(k1, k2, k3, next) < height(k1, k2, k3, at)) {
            // The maximum lies in [before, next]: golden-section search.
            const double golden = (std::sqrt(5.0) - 1.0) / 2.0;
            double lo = before, hi = next;
            for (int i = 0; i < 200; ++i) {
                const double a = hi - golden * (hi - lo);
                const double b = lo + golden * (hi - lo);
                if (height(k1, k2, k3, a) < height(k1, k2, k3, b)) {
                    lo = a;
                } else {
                    hi = b;
                }
            }
            const double r = (lo + hi) / 2.0;
            return {true, r, height(k1, k2, k3, r)};
        }
        before = at;
        at = next;
    }
    return {false, 0.0, 0.0};
}

struct FoldCase {
    const char* name;
    float k1, k2, k3;
};

const FoldCase kFoldCases[] = {
    {"strong barrel k1 k2", -0.5f, 0.1f, 0.0f},   // D = 1 - 1.5 u + 0.5 u^2: r = 1
    {"barrel k1 only", -0.2f, 0.0f, 0.0f},        // D linear in u
    {"pincushion turned by k2", 0.01f, -0.5f, 0.0f},
    {"k2 only", 0.0f, -0.02f, 0.0f},
    {"k3 only", 0.0f, 0.0f, -0.3f},
    {"cubic", -0.05f, 0.01f, -0.3f},
    {"cubic, D dips then falls", -0.25f, 0.1f, -0.01f},  // local minimum of D > 0 first
    {"cubic, two zeros of D", -0.5f, 0.1f, 0.001f},
    {"far fold", -0.001f, 0.0f, 0.0f},
    {"near fold", -4.0f, 0.0f, 0.0f},
    {"huge k1", -1e30f, 0.0f, 0.0f},
    {"smallest k3", 0.0f, 0.0f, -std::numeric_limits<float>::denorm_min()},
};

TEST(RadialFold, PeakMatchesAnIndependentSearch) {
    for (const FoldCase& c : kFoldCases) {
        SCOPED_TRACE(c.name);
        const PeakSearch want = first_peak(c.k1, c.k2, c.k3);
        ASSERT_TRUE(want.found);
        const RadialFold fold = find_radial_fold(c.k1, c.k2, c.k3);
        EXPECT_NEAR(fold.radius, want.radius, 1e-6 * want.radius);
        // max_rd is the float just below the peak value.
        EXPECT_LT(fold.max_rd, want.peak * (1.0 + 1e-12)) << std::hexfloat << fold.max_rd;
        EXPECT_GE(std::nextafter(fold.max_rd, kInf), want.peak * (1.0 - 1e-12))
            << std::hexfloat << fold.max_rd;
    }
}

TEST(RadialFold, ObservedLensPeaksAtRadiusOne) {
    // D = 1 - 1.5 u + 0.5 u^2 has zeros u = 1 and u = 2; the peak is
    // 1 - 0.5 + 0.1 = 0.6, or 0.6000000015 with 0.1f, which lies between
    // 0.6f (0.60000002) and the float below it.
    const RadialFold fold = find_radial_fold(-0.5f, 0.1f, 0.0f);
    EXPECT_NEAR(fold.radius, 1.0, 1e-6);
    EXPECT_EQ(fold.max_rd, std::nextafter(0.6f, 0.0f));
}

TEST(RadialFold, LensesThatNeverFold) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const FoldCase rising[] = {
        {"ideal", 0.0f, 0.0f, 0.0f},
        {"worked barrel", -0.05f, 0.01f, 0.0f},  // D has no real zero
        {"pincushion", 0.05f, 0.01f, 0.0f},
        {"dip stays above 0", -0.25f, 0.1f, 0.0f},
        {"rising cubic", 0.3f, -0.4f, 0.1f},
        {"huge", 1e30f, 1e30f, 0.0f},
    };
    for (const FoldCase& c : rising) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(first_peak(c.k1, c.k2, c.k3).found) << "the reference finds a peak";
        const RadialFold fold = find_radial_fold(c.k1, c.k2, c.k3);
        EXPECT_EQ(fold.radius, kInf);
        EXPECT_EQ(fold.max_rd, kInf);
    }
    // Non-finite coefficients are left to the solve.
    for (const FoldCase& c : {FoldCase{"NaN k1", nan, 0.0f, 0.0f}, FoldCase{"-inf k2", 0.0f, -kInf, 0.0f},
                              FoldCase{"NaN k3", -0.5f, 0.1f, nan}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(find_radial_fold(c.k1, c.k2, c.k3).max_rd, kInf);
    }
}

TEST(RadialFold, DerivedByNormalizeAfterTheNodeMembers) {
    LensModel lens;
    EXPECT_EQ(lens.fold.max_rd, kInf) << "the defaults do not fold";
    lens.k1 = -0.5f;
    lens.k2 = 0.1f;
    lens.normalize();
    const RadialFold want = find_radial_fold(-0.5f, 0.1f, 0.0f);
    EXPECT_EQ(lens.fold.radius, want.radius);
    EXPECT_EQ(lens.fold.max_rd, want.max_rd);
    // Appended: every member of the node's layout comes before it.
    EXPECT_GT(offsetof(LensModel, fold), offsetof(LensModel, undistorted_fy));
}

}  // namespace
}  // namespace talvik
