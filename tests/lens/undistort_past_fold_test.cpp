// Undistort where r * F(r) folds back: distorted radii at or beyond its peak
// have no position and give (0, 0); below the peak the Newton solve is the
// same as on a lens with no fold at all, and where Newton meets the fold
// below the peak, or settles beyond it, the inverse is found on the rising
// branch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "lens/lens_model.h"
#include "lens/st_map_row.h"
#include "lens/validity_row.h"
#include "tests/support/double_lens.h"
#include "tests/support/lens_from_panel.h"

namespace talvik {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

bool same_bits(float2 a, float2 b) {
    return std::memcmp(&a.x, &b.x, sizeof a.x) == 0 && std::memcmp(&a.y, &b.y, sizeof a.y) == 0;
}

bool is_zero(float2 q) { return q.x == 0.0f && q.y == 0.0f; }

// The lens the fault was seen with: panel k1 -0.5, k2 0.1, default focal
// lengths. r * F(r) peaks at r = 1 with the value 0.6.
LensModel strong_barrel(float panel_fx = 1920.0f) {
    test::PanelLens panel;
    panel.k1 = -0.5f;
    panel.k2 = 0.1f;
    panel.fx = panel_fx;
    panel.fy = panel_fx;
    panel.mode = 1;
    return test::normalized(panel);
}

// The point on the row through the principal point at distorted radius rd.
float2 at_radius(const LensModel& lens, float rd) {
    return {lens.cx + rd * lens.undistorted_fx, lens.cy};
}

// r * F(r) = rd on the rising branch [0, 1] of the strong barrel, in double.
double inner_radius(double rd) {
    const auto height = [](double r) { return r * (1.0 - 0.5 * r * r + 0.1f * r * r * r * r); };
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 100; ++i) {
        const double mid = (lo + hi) / 2.0;
        (height(mid) < rd ? lo : hi) = mid;
    }
    return (lo + hi) / 2.0;
}

// Panel k1 0.5, k2 -0.3: D reaches 0 at r = 1.207, where F is 1.09, so
// r * F(r) peaks at 1.319, beyond the fold radius: Newton, starting at rd,
// starts past the fold for every rd between the two.
LensModel pincushion_peaking_beyond_its_fold() {
    test::PanelLens panel;
    panel.k1 = 0.5f;
    panel.k2 = -0.3f;
    panel.mode = 1;
    return test::normalized(panel);
}

TEST(UndistortPastFold, PincushionPeakingBeyondItsFoldRadiusHasPositionsUpToThePeak) {
    const LensModel lens = pincushion_peaking_beyond_its_fold();
    const float fold = lens.fold.radius, peak = lens.fold.max_rd;
    ASSERT_GT(peak, fold * 1.05f);
    // r * F(r) = rd on the rising branch, in double.
    const auto inner = [&](double rd) {
        const auto height = [&](double r) { return r * (1.0 + lens.k1 * r * r + lens.k2 * r * r * r * r); };
        double lo = 0.0, hi = fold;
        for (int i = 0; i < 100; ++i) {
            const double mid = (lo + hi) / 2.0;
            (height(mid) < rd ? lo : hi) = mid;
        }
        return (lo + hi) / 2.0;
    };
    struct Case {
        float rd;
        double tolerance;  // in s; -1: no position
    } cases[] = {
        {0.5f, 2e-5},
        {0.99f * fold, 2e-5},
        {std::nextafter(fold, kInf), 1e-4},  // the first radius Newton starts past the fold
        {1.01f * fold, 1e-4},
        {0.5f * (fold + peak), 1e-4},
        {0.999f * peak, 1e-3},  // where r * F(r) is flat, r is known to fewer digits
        {peak, 1e-2},
        {std::nextafter(peak, kInf), -1},
        {1.5f, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rd);
        const float2 q = lens._undistort_v2(at_radius(lens, c.rd));
        const RadiusSolve solve = solve_undistorted_radius(lens, c.rd);
        if (c.tolerance < 0) {
            EXPECT_TRUE(is_zero(q));
            EXPECT_TRUE(solve.folded);
            continue;
        }
        EXPECT_FALSE(solve.folded);
        const double want = lens.fx * static_cast<double>(lens.fx_scale) * inner(c.rd) + 0.5;
        EXPECT_NEAR(q.x, want, c.tolerance);
        EXPECT_EQ(q.y, 0.5f);
    }
    // A lens without a fold has no rising branch to search.
    EXPECT_TRUE(solve_below_fold(test::normalized(test::worked_lens(-0.05f, 0.01f)), 0.5f).folded);
}

TEST(UndistortPastFold, NewtonSettlingOnTheOuterBranchIsSolvedAgainOnTheRisingOne) {
    // Newton from r = rd approaches the inner root from below (r * F(r) is
    // concave there) so slowly, where D is tiny, that at the largest radius
    // below the peak a rounding in g sends one step over the dip, and it
    // settles on the outer branch.
    const test::PanelLens panel = test::shallow_fold_lens();
    const LensModel lens = test::normalized(panel);
    const float rd = lens.fold.max_rd;
    const test::DoubleRadial model{panel.k1, panel.k2, 0.0};
    double inner = 0.0;
    ASSERT_TRUE(model.invert(rd, lens.fold.radius, rd, &inner));
    // The outer branch rises from r = 0.9343 on: its root by bisection.
    double lo = 0.94, hi = 1.5;
    ASSERT_LT(lo * model.f(lo), rd);
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (mid * model.f(mid) < rd ? lo : hi) = mid;
    }
    const double outer = lo;

    // What Newton alone settles on: the lens with its fold forgotten.
    LensModel plain = lens;
    plain.fold = kNoRadialFold;
    const RadiusSolve newton = solve_undistorted_radius(plain, rd);
    ASSERT_FALSE(newton.folded);
    ASSERT_NEAR(rd / newton.factor, outer, 1e-4) << "this lens no longer shows the case";

    // The solve answers with the inner root.
    const RadiusSolve solve = solve_undistorted_radius(lens, rd);
    EXPECT_FALSE(solve.folded);
    EXPECT_LE(rd / solve.factor, lens.fold.radius);
    EXPECT_NEAR(rd / solve.factor, inner, 2e-3) << "r * F(r) is flat at the peak";
}

TEST(UndistortPastFold, ObservedLensHasNoPositionAtOrBeyondThePeak) {
    const LensModel lens = strong_barrel();
    // 1.5 and 2.0 start Newton on the outer branch, where it used to settle.
    for (const float rd : {0.6f, 0.7f, 1.2f, 1.5f, 2.0f, 40.0f}) {
        SCOPED_TRACE(rd);
        const float2 q = lens._undistort_v2(at_radius(lens, rd));
        EXPECT_EQ(q.x, 0.0f);
        EXPECT_EQ(q.y, 0.0f);
        const RadiusSolve solve = solve_undistorted_radius(lens, rd);
        EXPECT_TRUE(solve.folded);
        EXPECT_EQ(solve.updates, 0) << "settled before any Newton step";
    }
}

TEST(UndistortPastFold, ObservedLensBelowThePeakIsTheInverse) {
    const LensModel lens = strong_barrel();
    for (const float rd : {0.05f, 0.3f, 0.5f, 0.58f}) {
        SCOPED_TRACE(rd);
        const float2 p = at_radius(lens, rd);
        const float2 q = lens._undistort_v2(p);
        const double x = (p.x - static_cast<double>(lens.cx)) / lens.undistorted_fx;
        const double r = inner_radius(x);
        const double want = lens.fx * static_cast<double>(lens.fx_scale) * r + 0.5;
        EXPECT_NEAR(q.x, want, 2e-5);
        EXPECT_EQ(q.y, 0.5f);
        EXPECT_FALSE(solve_undistorted_radius(lens, rd).folded);
    }
}

TEST(UndistortPastFold, ThresholdIsTheFloatBelowThePeak) {
    const LensModel lens = strong_barrel();
    const float last = lens.fold.max_rd;
    const RadiusSolve inside = solve_undistorted_radius(lens, last);
    EXPECT_GT(inside.updates, 0) << "the largest radius below the peak is solved";
    const RadiusSolve beyond = solve_undistorted_radius(lens, std::nextafter(last, kInf));
    EXPECT_TRUE(beyond.folded);
    EXPECT_EQ(beyond.updates, 0);
    EXPECT_TRUE(solve_undistorted_radius(lens, kInf).folded);
    EXPECT_FALSE(solve_undistorted_radius(lens, std::nanf("")).folded)
        << "a NaN radius is left to the solve";
}

TEST(UndistortPastFold, LensesWithoutFoldNeverStopAtTheThreshold) {
    for (const float k1 : {-0.05f, 0.0f, 0.05f}) {
        const LensModel lens = test::normalized(test::worked_lens(k1, 0.01f));
        EXPECT_EQ(lens.fold.max_rd, kInf) << k1;
        for (const float rd : {std::numeric_limits<float>::max(), kInf}) {
            EXPECT_FALSE(solve_undistorted_radius(lens, rd).folded) << k1 << " at " << rd;
        }
    }
}

struct FoldFrameCase {
    std::string name;
    LensModel lens;
    bool folds_in_frame;
};

// Every pixel of a frame, against the same lens with its fold forgotten
// (the solve as it is for a lens that never folds): below the threshold the
// bits are the same, above it the pixel is (0, 0).
TEST(UndistortPastFold, BelowTheThresholdTheSolveIsUnchanged) {
    test::PanelLens wide = test::worked_lens(-0.05f, 0.01f);
    wide.fx = wide.fy = 1000.0f;
    LensModel cubic = test::normalized(wide);
    cubic.mode = 1;
    cubic.k3 = -0.3f;  // no control: derive the fold again by hand
    cubic.fold = find_radial_fold(cubic.k1, cubic.k2, cubic.k3);
    test::PanelLens folding = test::worked_lens(-0.2f, 0.0f);
    folding.fx = folding.fy = 1000.0f;
    const FoldFrameCase cases[] = {
        {"strong barrel, short focal", strong_barrel(400.0f), true},
        {"strong barrel, corners", strong_barrel(800.0f), true},
        {"k1 -0.2, fx 1000", test::normalized(folding), true},
        {"k3", cubic, true},
        {"worked barrel, no fold", test::normalized(test::worked_lens(-0.05f, 0.01f)), false},
    };
    constexpr int kWidth = 4320, kHeight = 2160, kStride = 7;
    for (const FoldFrameCase& c : cases) {
        SCOPED_TRACE(c.name);
        LensModel plain = c.lens;
        plain.fold = kNoRadialFold;
        long solved = 0, beyond = 0;
        for (int y = 0; y < kHeight; y += kStride) {
            for (int x = 0; x < kWidth; x += kStride) {
                const float2 p{(x + 0.5f) / kWidth, (y + 0.5f) / kHeight};
                const float px = (p.x - c.lens.cx) / c.lens.undistorted_fx;
                const float py = (p.y - c.lens.cy) / c.lens.undistorted_fy;
                const float rd = std::sqrt(px * px + py * py);
                const float2 q = c.lens._undistort_v2(p);
                if (rd > c.lens.fold.max_rd) {
                    ++beyond;
                    ASSERT_TRUE(is_zero(q)) << x << ", " << y;
                } else {
                    ++solved;
                    ASSERT_TRUE(same_bits(q, plain._undistort_v2(p))) << x << ", " << y;
                }
            }
        }
        EXPECT_GT(solved, 0);
        EXPECT_EQ(beyond > 0, c.folds_in_frame) << beyond;
    }
}

TEST(UndistortPastFold, RowsHoldNoPositionOutsideTheFold) {
    // Panel fx 400: the row through the centre reaches distorted radius 3.4,
    // past both the peak (0.6) and the second zero of D (r = 1.41), where
    // Newton used to find the outer branch again. From the centre outwards,
    // once a pixel has no position no pixel further out has one.
    const LensModel lens = strong_barrel(400.0f);
    constexpr int kWidth = 4320;
    std::vector<float> s(kWidth), t(kWidth);
    st_map_row_scalar(lens, FrameSize{}, 1080, 0, kWidth, s.data(), t.data());
    const int centre = static_cast<int>(lens.cx * kWidth);
    for (const int direction : {-1, 1}) {
        SCOPED_TRACE(direction);
        int first_zero = -1;
        for (int x = centre; x >= 0 && x < kWidth; x += direction) {
            const bool zero = s[x] == 0.0f && t[x] == 0.0f;
            if (zero && first_zero < 0) first_zero = x;
            if (first_zero >= 0) {
                ASSERT_TRUE(zero) << "position at " << x << " past " << first_zero;
            }
        }
        ASSERT_GE(first_zero, 0);
        EXPECT_GT(std::abs(first_zero - centre), 100) << "positions up to the fold";
    }
}

// The validity of a row: 0 exactly where the map holds (0, 0) because the
// distorted radius is past the peak of r * F(r) (0.6 for the strong barrel,
// from r - 0.5 r^3 + 0.1 r^5 at r = 1), 1 everywhere else.
TEST(UndistortPastFold, ValidityIsZeroExactlyPastThePeak) {
    const LensModel lens = strong_barrel(400.0f);
    constexpr int kWidth = 4320;
    const FrameSize size{};
    std::vector<float> s(kWidth), t(kWidth);
    std::vector<uint16_t> a(kWidth);
    const int row = 1000;
    st_map_row_scalar(lens, size, row, 0, kWidth, s.data(), t.data());
    validity_row(lens, size, row, 0, kWidth, s.data(), t.data(), a.data());
    int zeros = 0;
    for (int x = 0; x < kWidth; ++x) {
        // The pixel's distorted radius in double, from the normalized lens.
        const double dx = ((x + 0.5) / kWidth - lens.cx) / lens.undistorted_fx;
        const double dy = ((row + 0.5) / 2160.0 - lens.cy) / lens.undistorted_fy;
        const double rd = std::hypot(dx, dy);
        if (std::abs(rd - 0.6) < 1e-5) continue;  // float rounding decides
        EXPECT_EQ(a[x], rd < 0.6 ? kHalfOne : kHalfZero) << "x " << x << ", rd " << rd;
        zeros += a[x] == kHalfZero;
    }
    EXPECT_GT(zeros, 1000);
    EXPECT_LT(zeros, kWidth - 100);
}

// Only the lens tells a position at (0, 0) from no position: a zero where
// the lens has one keeps its 1, and a value the map holds is one.
TEST(UndistortPastFold, ValidityAsksTheLensOnlyAboutZeros) {
    constexpr int kWidth = 64;
    const std::vector<float> zeros(kWidth, 0.0f), ones(kWidth, 0.25f);
    std::vector<uint16_t> a(kWidth);
    test::PanelLens ideal;
    ideal.mode = 1;
    validity_row(test::normalized(ideal), FrameSize{64.0f, 36.0f}, 5, 0, kWidth, zeros.data(), zeros.data(),
                 a.data());
    for (uint16_t v : a) EXPECT_EQ(v, kHalfOne);
    // Past the fold everywhere (fx 100 puts the whole frame far out), yet
    // the values are the map's: positions.
    const LensModel folded = strong_barrel(100.0f);
    validity_row(folded, FrameSize{64.0f, 36.0f}, 5, 0, kWidth, ones.data(), zeros.data(), a.data());
    for (uint16_t v : a) EXPECT_EQ(v, kHalfOne);
    validity_row(folded, FrameSize{64.0f, 36.0f}, 5, 0, kWidth, zeros.data(), zeros.data(), a.data());
    for (uint16_t v : a) EXPECT_EQ(v, kHalfZero);
    // Distort mode has a position wherever its focal lengths are not 0.
    test::PanelLens flat;
    flat.fx = 0.0f;
    validity_row(test::normalized(flat), FrameSize{64.0f, 36.0f}, 5, 0, kWidth, zeros.data(), zeros.data(),
                 a.data());
    for (uint16_t v : a) EXPECT_EQ(v, kHalfZero);
}

}  // namespace
}  // namespace talvik
