// Normalization, edge fit and the three mapping operations against worked
// values computed by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "lens/lens_model.h"
#include "tests/support/lens_from_panel.h"

namespace talvik {
namespace {

using test::normalized;
using test::PanelLens;
using test::worked_lens;

uint32_t bits_of(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

float2 pixel_centre(int x, int y, float w, float h) {
    return {(static_cast<float>(x) + 0.5f) / w, (static_cast<float>(y) + 0.5f) / h};
}

TEST(LensDefaults, ConstructionAndNormalization) {
    LensModel lens;
    EXPECT_EQ(bits_of(lens.fx_scale), 0x3F7FFFEFu);
    EXPECT_EQ(lens.fx, 1920.0f);
    EXPECT_EQ(lens.fy, 1920.0f);
    EXPECT_EQ(lens.undistorted_fx, 1920.0f);
    EXPECT_EQ(lens.fbx_file_path, nullptr);
    EXPECT_STREQ(lens.lens1, "BP_TalvikLensCxCyFOV");
    EXPECT_STREQ(lens.lens2, "BP_TalvikLensK1K2FD");
    EXPECT_STREQ(lens.lens3, "BP_TalvikLensFxAndOverscanFactor");
    EXPECT_STREQ(lens.lens4, "BP_TalvikLensEPDFy");

    lens.normalize();
    EXPECT_EQ(lens.fx, 1.0f);
    EXPECT_FLOAT_EQ(lens.fy, 1920.0f / 1080.0f);
    EXPECT_EQ(lens.cx, 0.5f);
    EXPECT_EQ(lens.cy, 0.5f);
    EXPECT_FLOAT_EQ(lens.undistorted_fx, 1.0f);
    EXPECT_FLOAT_EQ(lens.undistorted_fy, 1920.0f / 1080.0f);
}

TEST(LensNormalization, PanelValuesBecomeNormalized) {
    PanelLens panel;
    panel.cx = 96.0f;
    panel.cy = 54.0f;  // positive towards row 0
    panel.fx = 1500.0f;
    panel.fy = 1000.0f;
    LensModel lens = normalized(panel);
    EXPECT_FLOAT_EQ(lens.cx, 0.55f);
    EXPECT_FLOAT_EQ(lens.cy, 0.45f);
    EXPECT_FLOAT_EQ(lens.fx, 1500.0f / 1920.0f);
    EXPECT_FLOAT_EQ(lens.fy, 1500.0f / 1080.0f) << "fy follows fx unless anamorphic";
    EXPECT_FLOAT_EQ(lens.undistorted_fx, lens.fx);
    EXPECT_FLOAT_EQ(lens.undistorted_fy, lens.fy);

    panel.anamorphic = true;
    lens = normalized(panel);
    EXPECT_FLOAT_EQ(lens.fy, 1000.0f / 1080.0f);
}

TEST(LensEdgeFit, WorkedValues) {
    PanelLens panel;
    panel.fx = 1500.0f;
    panel.k1 = -0.05f;
    LensModel lens;
    lens.fx = panel.fx;
    lens.k1 = panel.k1;
    // r = 0.64, D = 0.64 * (1 - 0.05 * 0.4096)
    EXPECT_NEAR(lens.get_undistorted_fx(), 960.0 / (0.64 * (1.0 - 0.05 * 0.4096)), 1e-3);
    EXPECT_NEAR(normalized(panel).undistorted_fx, 0.797585, 1e-6);

    // The vertical fit uses the half-width too.
    lens.fy = 1500.0f;
    EXPECT_EQ(lens.get_undistorted_fy(), lens.get_undistorted_fx());

    // Anamorphic, the vertical fit follows fy alone: r = 960 / 1400,
    // D = r * (1 - 0.05 r^2) = 0.669593, 960 / D = 1433.707 pixels, while
    // the default fx fits to 960 / (0.5 * 0.9875) = 1944.304.
    PanelLens anamorphic;
    anamorphic.anamorphic = true;
    anamorphic.fy = 1400.0f;
    anamorphic.k1 = -0.05f;
    lens = normalized(anamorphic);
    EXPECT_NEAR(lens.undistorted_fy, 1433.70674 / 1080.0, 1e-6);
    EXPECT_NEAR(lens.undistorted_fx, 1944.30380 / 1920.0, 1e-6);

    // A zero focal length fits to 960 pixels.
    panel.fx = 0.0f;
    lens = normalized(panel);
    EXPECT_EQ(lens.undistorted_fx, 0.5f);
    EXPECT_EQ(lens.fx, 0.0f);
}

TEST(LensDistort, WorkedValuesAndCentre) {
    const LensModel lens = normalized(worked_lens(-0.05f, 0.01f));
    EXPECT_NEAR(lens.cx, 0.505208, 1e-6);
    EXPECT_NEAR(lens.cy, 0.504630, 1e-6);
    EXPECT_EQ(lens.fx, 0.78125f);
    EXPECT_NEAR(lens.fy, 1.388889, 1e-6);
    EXPECT_NEAR(lens.undistorted_fx, 0.796221, 1e-6);
    EXPECT_NEAR(lens.undistorted_fy, 1.415504, 1e-6);

    const float2 corner = lens._distort(pixel_centre(4319, 2159, 4320.0f, 2160.0f));
    EXPECT_NEAR(corner.x, 1.002424, 1e-6);
    EXPECT_NEAR(corner.y, 1.001730, 1e-6);

    const float2 centre = lens._distort({0.5f, 0.5f});
    EXPECT_EQ(centre.x, lens.cx);
    EXPECT_EQ(centre.y, lens.cy);
}

TEST(LensDistort, IdealLensIsIdentityUpToRounding) {
    const LensModel lens = normalized(PanelLens{});
    for (float u : {0.000115740739f, 0.25f, 0.7f, 0.9999f}) {
        const float2 q = lens._distort({u, 1.0f - u});
        EXPECT_NEAR(q.x, u, 3e-8);
        EXPECT_NEAR(q.y, 1.0f - u, 3e-8);
    }
}

TEST(LensUndistortV2, PincushionWorkedValue) {
    const LensModel lens = normalized(worked_lens(0.05f, 0.01f));
    const float2 p = pixel_centre(0, 0, 4320.0f, 2160.0f);
    const float2 q = lens._undistort_v2(p);
    EXPECT_NEAR(q.x, -0.00124204, 1e-7);
    EXPECT_NEAR(q.y, -0.00055337, 1e-7);
    const float rd = std::hypot((p.x - lens.cx) / lens.undistorted_fx,
                                (p.y - lens.cy) / lens.undistorted_fy);
    const RadiusSolve solve = solve_undistorted_radius(lens, rd);
    EXPECT_EQ(solve.updates, 2);
    EXPECT_FALSE(solve.folded);
}

TEST(LensUndistortV2, IdealLensAndCentre) {
    const LensModel ideal = normalized(PanelLens{});
    const float2 q = ideal._undistort_v2({0.25f, 0.75f});
    EXPECT_NEAR(q.x, 0.999999f * (0.25f - 0.5f) + 0.5f, 3e-8) << "fx_scale applies across";
    EXPECT_NEAR(q.y, 0.75f, 3e-8);

    const LensModel lens = normalized(worked_lens(-0.05f, 0.01f));
    const float2 c = lens._undistort_v2({lens.cx, lens.cy});
    EXPECT_EQ(c.x, 0.5f);
    EXPECT_EQ(c.y, 0.5f);
}

TEST(LensUndistortV2, DegenerateValuesGiveZeroOrNaN) {
    LensModel lens = normalized(PanelLens{});
    lens.undistorted_fx = 0.0f;
    float2 q = lens._undistort_v2({0.3f, 0.3f});
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(q.y, 0.0f);

    PanelLens zero_fx;
    zero_fx.fx = 0.0f;
    q = normalized(zero_fx)._distort({0.3f, 0.7f});
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(q.y, 0.0f);

    // Huge coefficients: a tiny but non-zero edge fit and NaN from the solve.
    PanelLens huge;
    huge.k1 = 1e30f;
    huge.k2 = 1e30f;
    lens = normalized(huge);
    EXPECT_GT(lens.undistorted_fx, 0.0f);
    EXPECT_LT(lens.undistorted_fx, 1e-29f);
    q = lens._undistort_v2({0.3f, 0.6f});
    EXPECT_TRUE(std::isnan(q.x));
    EXPECT_TRUE(std::isnan(q.y));
}

TEST(LensUndistortV2, RadialFactorZeroGivesZero) {
    // k1 = -1: F(1) = 0 and D(1) = -2, so the point at distorted radius 1 has
    // no position either way and maps to (0, 0).
    LensModel lens = normalized(PanelLens{});
    lens.k1 = -1.0f;
    lens.undistorted_fx = 1.0f;
    lens.undistorted_fy = 1.0f;
    lens.cx = 0.0f;
    lens.cy = 0.0f;
    const float2 q = lens._undistort_v2({1.0f, 0.0f});
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(q.y, 0.0f);
}

TEST(LensUndistortV2, RadialFactorExactlyZeroWithARisingCurve) {
    // rd = 0.01, k2 = 1e12 and k1 the float that makes F(rd) round to exactly
    // 0: F = (k1 r^2 + 1) + k2 r^4 = -10000 + 10000. The slope there is
    // D = (3 k1 r^2 + 1) + 5 k2 r^4, about 19998: no fold. The step
    // g / D = -0.01 / 19998 stops the solve before any update, with F = 0,
    // and only the factor guard keeps the result from dividing by it.
    const float k1 = -100009992.0f;
    const float k2 = 1e12f;
    const double r = 0.01f;
    EXPECT_GT((3.0 * k1 * r * r + 1.0) + 5.0 * k2 * r * r * r * r, 19000.0) << "rising, in double";
    LensModel lens = normalized(PanelLens{});
    lens.k1 = k1;
    lens.k2 = k2;
    const RadiusSolve solve = solve_undistorted_radius(lens, 0.01f);
    EXPECT_EQ(bits_of(solve.factor), 0u) << "F is +0 exactly";
    EXPECT_EQ(solve.updates, 0);
    EXPECT_FALSE(solve.folded);

    lens.cx = 0.0f;
    lens.cy = 0.0f;
    lens.undistorted_fx = 1.0f;
    lens.undistorted_fy = 1.0f;
    const float2 q = lens._undistort_v2({0.01f, 0.0f});  // rd = sqrt(0.01f^2) = 0.01f
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(q.y, 0.0f);
}

TEST(LensUndistortV2, NoCoefficientsStopAtOnce) {
    // F = D = 1 and g = r - rd = 0: the first step is 0.
    LensModel lens = normalized(PanelLens{});
    for (float rd : {0.0f, 0.3f, 1.7f, 1000.0f}) {
        const RadiusSolve solve = solve_undistorted_radius(lens, rd);
        EXPECT_EQ(solve.updates, 0) << rd;
        EXPECT_EQ(solve.factor, 1.0f) << rd;
        EXPECT_FALSE(solve.folded) << rd;
    }
    const float2 q = lens._undistort_v2({0.25f, 0.75f});
    EXPECT_EQ(q.y, (0.25f / lens.undistorted_fy) * lens.fy + 0.5f) << "y / 1 * fy + 0.5";
}

TEST(LensUndistortTangential, ZeroFyGivesNaNInBothComponents) {
    // The division by fy is not guarded: the infinite (or 0 / 0) first
    // estimate reaches r^2, and from there the horizontal estimate too.
    for (const float k1 : {0.0f, -0.05f}) {
        LensModel lens = normalized(PanelLens{});
        lens.k1 = k1;
        lens.fy = 0.0f;
        for (const float y : {0.7f, 0.2f, lens.cy}) {
            const float2 q = lens._undistort({0.3f, y});
            EXPECT_TRUE(std::isnan(q.x)) << k1 << ", " << y << ": " << q.x;
            EXPECT_TRUE(std::isnan(q.y)) << k1 << ", " << y << ": " << q.y;
        }
    }
}

TEST(LensUndistortTangential, WorkedValues) {
    const float2 p = pixel_centre(0, 0, 4320.0f, 2160.0f);
    const float2 ideal = normalized(PanelLens{})._undistort(p);
    EXPECT_NEAR(ideal.x, 0.000115246, 1e-9);
    EXPECT_NEAR(ideal.y, 0.000231475, 1e-9);

    const float2 q = normalized(worked_lens(-0.05f, 0.01f))._undistort(p);
    EXPECT_NEAR(q.x, -0.0282983, 1e-6);
    EXPECT_NEAR(q.y, -0.0275714, 1e-6);
}

TEST(LensUndistortTangential, ZeroRadialFactorKeepsFirstEstimate) {
    LensModel lens = normalized(PanelLens{});
    lens.cx = 0.0f;
    lens.cy = 0.0f;
    lens.fx = 1.0f;
    lens.fx_scale = 1.0f;
    lens.fy = 1.0f;
    lens.undistorted_fx = 2.0f;
    lens.undistorted_fy = 2.0f;
    lens.k1 = -1.0f;  // F(1) = 0 at the first estimate (1, 0)
    lens.p1 = 0.5f;
    const float2 q = lens._undistort({1.0f, 0.0f});
    EXPECT_EQ(q.x, 2.5f);
    EXPECT_EQ(q.y, 0.5f);

    lens.fx = 0.0f;  // no guard: IEEE rules apply, the call still returns
    EXPECT_FALSE(std::isfinite(lens._undistort({1.0f, 0.0f}).x));
}

TEST(LensUndistortTangential, TangentialTermsAreRemoved) {
    // Forward model with tangential terms in double; five iterations of the
    // inverse must come back close to the undistorted point.
    LensModel lens = normalized(worked_lens(-0.02f, 0.0f));
    lens.p1 = 0.001f;
    lens.p2 = -0.0015f;
    const double xu = 0.12, yu = -0.08;  // undistorted, lens-centred units
    const double r2 = xu * xu + yu * yu;
    const double f = 1.0 + lens.k1 * r2;
    const double xd = xu * f + 2.0 * lens.p1 * xu * yu + lens.p2 * (r2 + 2.0 * xu * xu);
    const double yd = yu * f + lens.p1 * (r2 + 2.0 * yu * yu) + 2.0 * lens.p2 * xu * yu;
    const float2 p{static_cast<float>(xd * lens.fx * lens.fx_scale + lens.cx),
                   static_cast<float>(yd * lens.fy + lens.cy)};
    const float2 q = lens._undistort(p);
    EXPECT_NEAR(q.x, xu * lens.undistorted_fx + 0.5, 1e-5);
    EXPECT_NEAR(q.y, yu * lens.undistorted_fy + 0.5, 1e-5);
}

}  // namespace
}  // namespace talvik
