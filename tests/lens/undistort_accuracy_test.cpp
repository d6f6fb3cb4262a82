// Undistort against an independent double-precision inverse: r * F(r) = rd
// solved by bisection on the monotonic branch, over whole frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "lens/lens_model.h"
#include "lens/st_map_row.h"
#include "tests/support/double_lens.h"
#include "tests/support/lens_from_panel.h"

namespace talvik {
namespace {

constexpr int kWidth = 4320;
constexpr int kHeight = 2160;

using test::DoubleRadial;

struct FrameCheck {
    double worst_px = 0.0;     // largest distance to the double-precision inverse
    double worst_trip_px = 0;  // largest |distort(undistort(p)) - p|
    int most_updates = 0;
    long no_position = 0;      // pixels answered with (0, 0)
    long wrongly_zero = 0;     // (0, 0) where an inverse exists well inside the fold
    long missed_fold = 0;      // a position where none exists
};

// Every stride-th pixel of a width x height frame (every pixel with stride
// 1), the float answer taken from the rows the maps are made of.
FrameCheck check_frame(const LensModel& lens, int stride, int width = kWidth, int height = kHeight) {
    const DoubleRadial model{lens.k1, lens.k2, lens.k3};
    const double fold = model.fold_radius();
    const double fold_rd = fold < 1e299 ? fold * model.f(fold) : 1e300;
    LensModel undistort = lens;
    undistort.mode = 1;
    const FrameSize size = frame_size_from(width, height);
    std::vector<float> s(width), t(width);
    FrameCheck out;
    for (int y = 0; y < height; y += stride) {
        st_map_row(undistort, size, y, 0, width, s.data(), t.data());
        for (int x = 0; x < width; x += stride) {
            const float2 p{(x + 0.5f) / width, (y + 0.5f) / height};
            const float2 q{s[x], t[x]};
            const double xd = (p.x - static_cast<double>(lens.cx)) / lens.undistorted_fx;
            const double yd = (p.y - static_cast<double>(lens.cy)) / lens.undistorted_fy;
            const double rd = std::hypot(xd, yd);
            // The float answer's radius, as the place to start looking.
            const double guess = std::hypot((q.x - 0.5) / (lens.fx * static_cast<double>(lens.fx_scale)),
                                            (q.y - 0.5) / lens.fy);
            double r = 0.0;
            const bool exists = model.invert(rd, fold, guess, &r);
            if (q.x == 0.0f && q.y == 0.0f) {
                ++out.no_position;
                if (exists && rd < 0.999 * fold_rd) ++out.wrongly_zero;
                continue;
            }
            if (!exists) {
                ++out.missed_fold;
                continue;
            }
            const double f = rd > 0.0 ? model.f(r) : 1.0;
            const double ex = lens.fx * static_cast<double>(lens.fx_scale) * (xd / f) + 0.5;
            const double ey = lens.fy * (yd / f) + 0.5;
            out.worst_px = std::max(out.worst_px, std::hypot((q.x - ex) * width, (q.y - ey) * height));
            const float2 back = lens._distort(q);
            out.worst_trip_px = std::max(
                out.worst_trip_px, std::hypot((back.x - static_cast<double>(p.x)) * width,
                                       (back.y - static_cast<double>(p.y)) * height));
            const float rdf = std::sqrt(static_cast<float>(xd * xd + yd * yd));
            out.most_updates =
                std::max(out.most_updates, solve_undistorted_radius(lens, rdf).updates);
        }
    }
    return out;
}

TEST(UndistortAccuracy, InvertsDistortOverWholeFrames) {
    for (float k2 : {0.0f, 0.01f}) {
        for (float k1 : {-0.2f, -0.15f, -0.1f, -0.05f, -0.02f, 0.0f, 0.03f, 0.05f, 0.1f}) {
            SCOPED_TRACE(testing::Message() << "k1 " << k1 << " k2 " << k2);
            const LensModel lens = test::normalized(test::worked_lens(k1, k2));
            const FrameCheck check = check_frame(lens, 5);
            EXPECT_LE(check.worst_px, 0.01);
            EXPECT_LE(check.worst_trip_px, 0.01);
            EXPECT_LE(check.most_updates, 4);
            EXPECT_EQ(check.no_position, 0);
        }
    }
}

// Next to the peak of r * F(r) the curve is flat, so the rounding of the
// float distorted radius moves the answer far: the error there grows as
// pixels come closer to the peak. Every pixel is measured, as docs/compositing.md's
// figures are.
TEST(UndistortAccuracy, PointsPastTheFoldHaveNoPosition) {
    // Panel fx 1000 with k1 -0.2 folds inside the frame's corners.
    test::PanelLens panel = test::worked_lens(-0.2f, 0.0f);
    panel.fx = panel.fy = 1000.0f;
    const LensModel lens = test::normalized(panel);
    const FrameCheck check = check_frame(lens, 1);
    EXPECT_GT(check.no_position, 0);
    EXPECT_EQ(check.wrongly_zero, 0);
    EXPECT_EQ(check.missed_fold, 0);
    // Measured 0.0546 px, in the last pixels before the fold.
    EXPECT_LE(check.worst_px, 0.06) << "close to the fold the float solve loses digits";
}

TEST(UndistortAccuracy, PincushionPeakingBeyondItsFoldRadiusHasEveryPositionBelowThePeak) {
    // Panel k1 0.5, k2 -0.3 folds at r = 1.207 and peaks at 1.319; panel fx
    // 800 puts both inside the frame. Which pixels come closest to the peak
    // depends on the principal point and the frame: measured 0.116 px off
    // centre on 4320 x 2160, 0.136 px centred on 4096 x 2160.
    test::PanelLens off_centre = test::worked_lens(0.5f, -0.3f);
    off_centre.fx = off_centre.fy = 800.0f;
    test::PanelLens centred = off_centre;
    centred.cx = centred.cy = 0.0f;
    const struct {
        test::PanelLens panel;
        int width;
    } cases[] = {{off_centre, 4320}, {centred, 4096}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        const FrameCheck check = check_frame(test::normalized(c.panel), 1, c.width, kHeight);
        EXPECT_GT(check.no_position, 0);
        EXPECT_EQ(check.wrongly_zero, 0);
        EXPECT_EQ(check.missed_fold, 0);
        EXPECT_LE(check.worst_px, 0.14) << "next to the peak r * F(r) is flat";
    }
}

TEST(UndistortAccuracy, BarrelWorkedPixelIsTheTrueInverse) {
    // Undistorting the distorted position of pixel (0, 0) returns the pixel.
    const LensModel lens = test::normalized(test::worked_lens(-0.05f, 0.01f));
    const float2 pixel{0.5f / kWidth, 0.5f / kHeight};
    const float2 q = lens._undistort_v2(lens._distort(pixel));
    EXPECT_NEAR(q.x, pixel.x, 2e-6);
    EXPECT_NEAR(q.y, pixel.y, 2e-6);
}

TEST(UndistortAccuracy, NaNRunsTheWholeBudget) {
    LensModel lens;
    lens.k1 = std::nanf("");
    EXPECT_EQ(solve_undistorted_radius(lens, 0.5f).updates, 50);
    lens.k1 = 0.01f;
    lens.k2 = -0.5f;  // folds near r = 0.63
    const RadiusSolve folded = solve_undistorted_radius(lens, 0.9f);
    EXPECT_TRUE(folded.folded);
}

}  // namespace
}  // namespace talvik
