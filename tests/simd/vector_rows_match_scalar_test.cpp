// Every vector target against st_map_row_scalar, bit for bit (memcmp, so NaN
// payloads and zero signs count), over whole rows, rows starting and ending
// mid-vector, pixels exactly at the thresholds the rows decide by, and guard
// cells that must stay untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "lens/lens_points.h"
#include "lens/newton_step_stop.h"
#include "lens/radial_fold.h"
#include "lens/st_map_row.h"
#include "lens/st_map_row_targets.h"
#include "tests/support/lens_from_panel.h"

namespace talvik {
namespace {

using test::normalized;
using test::worked_lens;

constexpr int kGuard = 19;  // cells either side of the addressed span
constexpr float kSentinel = -12345.678f;

struct Range {
    int x0;
    int x1;
};

// Row y over [x0, x1) on the target and on the scalar definition into
// buffers for [-kGuard, span + kGuard) filled with sentinels. The scalar
// writes nothing outside the range, so equal buffers also prove the target
// did not.
void expect_row_matches(RowTarget target, const LensModel& lens, FrameSize size, int y,
                        Range range, int span) {
    std::vector<float> want_s(span + 2 * kGuard, kSentinel), want_t(want_s), got_s(want_s),
        got_t(want_s);
    st_map_row_scalar(lens, size, y, range.x0, range.x1, &want_s[kGuard], &want_t[kGuard]);
    st_map_row_on(target, lens, size, y, range.x0, range.x1, &got_s[kGuard], &got_t[kGuard]);
    const size_t bytes = want_s.size() * sizeof(float);
    if (std::memcmp(want_s.data(), got_s.data(), bytes) == 0 &&
        std::memcmp(want_t.data(), got_t.data(), bytes) == 0) {
        return;
    }
    for (size_t i = 0; i < want_s.size(); ++i) {
        if (std::memcmp(&want_s[i], &got_s[i], 4) != 0 || std::memcmp(&want_t[i], &got_t[i], 4) != 0) {
            FAIL() << "y " << y << ", range " << range.x0 << ".." << range.x1 << ": differs at x "
                   << static_cast<long>(i) - kGuard << std::hexfloat << ": scalar (" << want_s[i]
                   << ", " << want_t[i] << "), vector (" << got_s[i] << ", " << got_t[i] << ")";
        }
    }
}

struct LensCase {
    std::string name;
    LensModel lens;
};

// Panel k1 -0.5, k2 0.1: r * F(r) peaks at r = 1 with the value 0.6, and D
// turns positive again past r = 1.41, where Newton can settle on the outer
// branch.
test::PanelLens strong_barrel(float panel_fx) {
    test::PanelLens panel;
    panel.k1 = -0.5f;
    panel.k2 = 0.1f;
    panel.fx = panel.fy = panel_fx;
    return panel;
}

// Lenses that reach every branch of the row math in both modes.
std::vector<LensCase> lens_cases() {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<LensCase> cases;
    for (int mode : {0, 1, 2}) {
        const auto add = [&](const std::string& name, test::PanelLens panel) {
            panel.mode = mode;
            cases.push_back({name + " mode " + std::to_string(mode), normalized(panel)});
        };
        add("defaults", test::PanelLens{});
        add("barrel", worked_lens(-0.05f, 0.01f));
        add("pincushion", worked_lens(0.05f, 0.01f));
        test::PanelLens folding = worked_lens(-0.2f, 0.0f);
        folding.fx = 1000.0f;  // folds inside the frame
        add("folding", folding);
        test::PanelLens anamorphic = worked_lens(-0.1f, 0.02f);
        anamorphic.anamorphic = true;
        anamorphic.fy = 900.0f;
        anamorphic.cx = -300.0f;
        add("anamorphic off centre", anamorphic);
        add("huge coefficients", worked_lens(1e30f, 1e30f));
        add("NaN k1", worked_lens(nan, 0.01f));
        add("NaN k1 k2", worked_lens(nan, nan));
        test::PanelLens flat;
        flat.fx = 0.0f;  // fy follows
        add("zero focal length", flat);
        add("strong barrel", strong_barrel(400.0f));  // folds across the middle
        add("strong barrel corners", strong_barrel(800.0f));
        // Peaks beyond its fold radius: pixels between the two are solved
        // on the rising branch, one lane at a time.
        test::PanelLens pincushion_fold = worked_lens(0.5f, -0.3f);
        pincushion_fold.fx = 800.0f;
        add("pincushion peaking beyond its fold", pincushion_fold);
        pincushion_fold.cx = nan;  // NaN radii are no radii below the peak
        add("pincushion peaking beyond its fold, NaN centre", pincushion_fold);
    }
    LensModel cubic = normalized(worked_lens(-0.05f, 0.01f));
    cubic.k3 = -0.3f;  // no control, but read by the math
    cases.push_back({"k3 distort", cubic});
    cubic.mode = 1;
    cases.push_back({"k3 undistort", cubic});
    test::PanelLens wide = worked_lens(-0.05f, 0.01f);
    wide.fx = 1000.0f;
    cubic = normalized(wide);
    cubic.mode = 1;
    cubic.k3 = -0.3f;
    cubic.fold = find_radial_fold(cubic.k1, cubic.k2, cubic.k3);
    cases.push_back({"k3 undistort, folding", cubic});
    LensModel zero = normalized(worked_lens(0.05f, 0.0f));
    zero.fy = 0.0f;
    cases.push_back({"zero fy distort", zero});
    zero = normalized(worked_lens(0.05f, 0.0f));
    zero.mode = 1;
    zero.undistorted_fx = 0.0f;
    cases.push_back({"zero undistorted fx", zero});
    zero.undistorted_fx = zero.undistorted_fy;
    zero.undistorted_fy = 0.0f;
    cases.push_back({"zero undistorted fy", zero});
    return cases;
}

class VectorRows : public ::testing::TestWithParam<RowTarget> {
protected:
    void SetUp() override {
        if (!row_target_runnable(GetParam())) {
            GTEST_SKIP() << row_target_name(GetParam()) << " does not run on this CPU";
        }
    }
};

TEST_P(VectorRows, EveryLensOnOddFramesWholeRowsAndPartialRows) {
    struct Frame {
        int width, height;
    };
    for (const LensCase& lens_case : lens_cases()) {
        SCOPED_TRACE(lens_case.name);
        for (const Frame frame : {Frame{1, 1}, {3, 2}, {5, 7}, {17, 9}, {4321, 2160}, {-64, 720}}) {
            SCOPED_TRACE("frame " + std::to_string(frame.width) + "x" + std::to_string(frame.height));
            const int w = frame.width < 0 ? -frame.width : frame.width;
            // Whole row, from x0 > 0, ending mid-vector, one pixel, empty,
            // reversed, and running past the frame's right edge.
            const Range ranges[] = {{0, w},     {1, w},         {3, w - 2}, {w / 3, w / 3 + 21},
                                    {w - 1, w}, {w / 2, w / 2}, {5, 2},     {w > 3 ? w - 3 : 0, w + 30}};
            for (const int y : {0, frame.height / 2, frame.height - 1, frame.height + 3}) {
                for (const Range range : ranges) {
                    expect_row_matches(GetParam(), lens_case.lens,
                                       frame_size_from(frame.width, frame.height), y, range, w + 30);
                }
            }
        }
    }
}

TEST_P(VectorRows, EveryStartAndLengthAcrossVectorGroups) {
    // Every alignment of x0 and every length up to past the widest group of
    // Newton vectors (4 x 16 lanes) plus single vectors and a remainder, on
    // lenses whose lanes leave the Newton loop at different passes.
    for (const float k1 : {-0.05f, -0.2f}) {
        for (int mode : {0, 1}) {
            test::PanelLens panel = worked_lens(k1, 0.01f);
            panel.mode = mode;
            const LensModel lens = normalized(panel);
            for (int x0 = 0; x0 <= 17; ++x0) {
                for (int x1 = x0; x1 <= x0 + 150; ++x1) {
                    expect_row_matches(GetParam(), lens, frame_size_from(200, 48), 5, {x0, x1}, 200);
                }
            }
        }
    }
}

TEST_P(VectorRows, RandomLensesInBothModes) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> k1(-0.6f, 0.6f), k2(-0.2f, 0.2f),
        centre(-200.0f, 200.0f), focal(300.0f, 3000.0f);
    for (int i = 0; i < 150; ++i) {
        test::PanelLens panel{centre(random), centre(random), focal(random), focal(random),
                              k1(random),     k2(random),     i % 3 == 0,    i % 2};
        SCOPED_TRACE("lens " + std::to_string(i));
        for (const int y : {0, 150, 300}) {
            expect_row_matches(GetParam(), normalized(panel), frame_size_from(517, 301), y,
                               {0, 517}, 517);
        }
    }
}

TEST_P(VectorRows, RadialFactorExactlyZeroInsideAVector) {
    // Pixel 8 of a 16-wide, 1-high frame lands at distorted radius exactly
    // 0.01 ((8.5 / 16 - 0.03125) / 50), where this k1, k2 make F round to 0
    // with the curve still rising: no fold, no update, and (0, 0) only
    // through the zero-factor test. Every target meets it mid-vector.
    LensModel lens = normalized(test::PanelLens{});
    lens.mode = 1;
    lens.k1 = -100009992.0f;
    lens.k2 = 1e12f;
    lens.cx = 0.03125f;
    lens.cy = 0.5f;
    lens.undistorted_fx = 50.0f;
    const FrameSize size = frame_size_from(16, 1);
    std::vector<float> s(16, kSentinel), t(16, kSentinel);
    st_map_row_on(GetParam(), lens, size, 0, 0, 16, s.data(), t.data());
    EXPECT_EQ(s[8], 0.0f);
    EXPECT_EQ(t[8], 0.0f);
    EXPECT_NE(s[7], 0.0f) << "its neighbours have a position";
    expect_row_matches(GetParam(), lens, size, 0, {0, 16}, 16);
}

TEST_P(VectorRows, RowsCrossingTheFoldHaveNoPositionPastItsPeak) {
    // Every alignment of the fold within the vectors and groups of vectors:
    // rows at every height of a frame where the fold crosses each row at a
    // different column, whole and in spans that reach the fold at one end,
    // both or neither. Past the peak 0.6 every pixel is (0, 0); well inside
    // it none is.
    test::PanelLens panel = strong_barrel(400.0f);
    panel.mode = 1;
    const LensModel lens = normalized(panel);
    constexpr int kWidth = 517, kHeight = 301;
    const FrameSize size = frame_size_from(kWidth, kHeight);
    long beyond = 0, inside = 0;
    std::vector<float> s(kWidth), t(kWidth);
    for (int y = 0; y < kHeight; ++y) {
        expect_row_matches(GetParam(), lens, size, y, {0, kWidth}, kWidth);
        expect_row_matches(GetParam(), lens, size, y, {y % 17, kWidth - y % 13}, kWidth);
        // Spans with one end near the centre and one past the fold, and
        // spans around the centre that stay inside it.
        expect_row_matches(GetParam(), lens, size, y, {kWidth / 2 - y % 19, kWidth}, kWidth);
        expect_row_matches(GetParam(), lens, size, y, {0, kWidth / 2 + y % 23}, kWidth);
        expect_row_matches(GetParam(), lens, size, y, {kWidth / 2 - 40, kWidth / 2 + y % 29}, kWidth);
        st_map_row_on(GetParam(), lens, size, y, 0, kWidth, s.data(), t.data());
        for (int x = 0; x < kWidth; ++x) {
            const double px = ((x + 0.5) / kWidth - lens.cx) / lens.undistorted_fx;
            const double py = ((y + 0.5) / kHeight - lens.cy) / lens.undistorted_fy;
            const double rd = std::hypot(px, py);
            const bool zero = s[x] == 0.0f && t[x] == 0.0f;
            if (rd > 0.6 + 1e-6) {
                ++beyond;
                ASSERT_TRUE(zero) << x << ", " << y << ": (" << s[x] << ", " << t[x] << ")";
            } else if (rd < 0.55) {
                ++inside;
                ASSERT_FALSE(zero) << x << ", " << y;
            }
        }
    }
    EXPECT_GT(beyond, kWidth * kHeight / 4);
    EXPECT_GT(inside, kWidth * kHeight / 100);
}

// `lens` moved so that pixel x of a row of `width` lies exactly at distorted
// radius rd on the row through the principal point (frames 1 pixel high):
// (u - cx) / 1 is rd, and so is sqrt(rd * rd). False where u - rd rounds.
bool put_pixel_at_radius(LensModel& lens, int x, int width, float rd) {
    const float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(width);
    lens.undistorted_fx = 1.0f;
    lens.cx = u - rd;
    lens.cy = 0.5f;
    return u - lens.cx == rd;
}

// Pixels exactly at the two thresholds the rows decide by, at every lane
// position of a row 64 pixels long: a distorted radius equal to the fold's
// max_rd (solved: only larger radii are past the peak), and a Newton step
// equal to kNewtonStopStepMax (the largest that stops, reached where the
// step is divided out).
TEST_P(VectorRows, PixelsExactlyAtTheThresholds) {
    constexpr int kWidth = 64;
    const FrameSize size = frame_size_from(kWidth, 1);
    struct Case {
        std::string name;
        LensModel lens;
        float rd;
    };
    std::vector<Case> cases;
    // On the shallow fold, Newton at the peak settles on the outer branch
    // and the rising branch's answer replaces it.
    for (const test::PanelLens& panel : {test::shallow_fold_lens(), strong_barrel(1920.0f)}) {
        test::PanelLens undistort = panel;
        undistort.mode = 1;
        const LensModel lens = normalized(undistort);
        cases.push_back({"at the peak, k1 " + std::to_string(panel.k1), lens, lens.fold.max_rd});
    }
    // F(0.5) = 1 + 1.6e-5 and D(0.5) = 0.8: the first step g / D is exactly
    // kNewtonStopStepMax, and |g| * kNewtonStopShortcutScale rounds to D, so
    // the stop is decided on the divided step. One more update would change F.
    LensModel stop = normalized(test::PanelLens{});
    stop.mode = 1;
    stop.k1 = 0x1.9c6bbp-2f;
    stop.k2 = -0x1.9c5bp+0f;
    stop.fold = find_radial_fold(stop.k1, stop.k2, stop.k3);
    {
        const float r2 = 0.25f, r4 = r2 * r2;
        const float f = (stop.k1 * r2 + 1.0f) + stop.k2 * r4;
        const float d = ((3.0f * stop.k1) * r2 + 1.0f) + (5.0f * stop.k2) * r4;
        const float g = f * 0.5f - 0.5f;
        ASSERT_EQ(g / d, kNewtonStopStepMax);
        ASSERT_FALSE(std::fabs(g) * kNewtonStopShortcutScale < d);
        ASSERT_LT(0.5f, stop.fold.max_rd);
    }
    cases.push_back({"Newton step at the stop", stop, 0.5f});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int placed = 0;
        for (int x = 0; x < kWidth; ++x) {
            LensModel lens = c.lens;
            if (!put_pixel_at_radius(lens, x, kWidth, c.rd)) continue;
            ++placed;
            float s[kWidth], t[kWidth];
            st_map_row_scalar(lens, size, 0, x, x + 1, s, t);
            ASSERT_FALSE(s[x] == 0.0f && t[x] == 0.0f) << "the pixel at the threshold has a position";
            expect_row_matches(GetParam(), lens, size, 0, {0, kWidth}, kWidth);
        }
        EXPECT_GE(placed, kWidth - 2);
    }
}

// Points: each target's map_points against map_points_scalar, the same
// bits except that any NaN matches any NaN (a NaN input's payload may take
// another path through the vector code).
void expect_points_match(RowTarget target, const LensModel& lens, FrameSize size, const std::vector<double>& xy) {
    const size_t count = xy.size() / 2;
    std::vector<double> want(xy.size(), -1.0), got(xy.size() + 2, -1.0);
    map_points_scalar(lens, size, xy.data(), want.data(), count);
    map_points_on(target, lens, size, xy.data(), got.data(), count);
    for (size_t i = 0; i < xy.size(); ++i) {
        const bool same = std::memcmp(&want[i], &got[i], sizeof(double)) == 0 ||
                          (std::isnan(want[i]) && std::isnan(got[i]));
        ASSERT_TRUE(same) << "point " << i / 2 << " of " << count << " (" << xy[i - i % 2] << ", "
                          << xy[i - i % 2 + 1] << "): scalar " << want[i] << ", vector " << got[i];
    }
    EXPECT_EQ(got[xy.size()], -1.0) << "written past the last point";
}

TEST_P(VectorRows, PointsAnywhereInAnyNumber) {
    std::mt19937 random(25);
    // Inside the frame, far outside it (past every fold) and around it.
    std::uniform_real_distribution<double> near(-300.0, 900.0), far(-1e6, 1e6);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const LensCase& lens_case : lens_cases()) {
        SCOPED_TRACE(lens_case.name);
        for (const size_t count : {size_t{0}, size_t{1}, size_t{7}, size_t{63}, size_t{97}, size_t{1000}}) {
            std::vector<double> xy;
            for (size_t i = 0; i < count; ++i) {
                const bool wild = i % 5 == 4;
                xy.push_back(wild ? far(random) : near(random));
                xy.push_back(i % 11 == 10 ? nan : wild ? far(random) : near(random) / 2);
            }
            expect_points_match(GetParam(), lens_case.lens, frame_size_from(600, 300), xy);
        }
    }
}

TEST_P(VectorRows, PointsAtPixelCentresAreTheRowsTimesTheFrame) {
    // The scalar definition at pixel centres, against the map's rows; no
    // position is NaN where the map holds (0, 0) for want of one.
    for (const char* name : {"folding", "strong barrel", "pincushion peaking beyond its fold"}) {
        for (const LensCase& lens_case : lens_cases()) {
            if (lens_case.name.rfind(name, 0) != 0 || lens_case.name.find("NaN") != std::string::npos) continue;
            SCOPED_TRACE(lens_case.name);
            constexpr int kWidth = 211, kHeight = 97;
            const FrameSize size = frame_size_from(kWidth, kHeight);
            std::vector<float> s(kWidth), t(kWidth);
            std::vector<double> xy, points(2 * kWidth);
            long none = 0;
            for (int y = 0; y < kHeight; ++y) {
                st_map_row_scalar(lens_case.lens, size, y, 0, kWidth, s.data(), t.data());
                xy.clear();
                for (int x = 0; x < kWidth; ++x) xy.insert(xy.end(), {x + 0.5, y + 0.5});
                map_points_on(GetParam(), lens_case.lens, size, xy.data(), points.data(), kWidth);
                for (int x = 0; x < kWidth; ++x) {
                    if (std::isnan(points[2 * x])) {
                        ++none;
                        ASSERT_TRUE(std::isnan(points[2 * x + 1]) && s[x] == 0.0f && t[x] == 0.0f) << x << ", " << y;
                        continue;
                    }
                    ASSERT_EQ(points[2 * x], static_cast<double>(s[x]) * kWidth) << x << ", " << y;
                    ASSERT_EQ(points[2 * x + 1], static_cast<double>(t[x]) * kHeight) << x << ", " << y;
                }
            }
            EXPECT_EQ(none > 0, lens_case.lens.mode != 0) << "Undistort folds in the frame, Distort never";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, VectorRows,
                         ::testing::Values(RowTarget::Sse2, RowTarget::Avx2, RowTarget::Avx512),
                         [](const ::testing::TestParamInfo<RowTarget>& info) {
                             std::string name = row_target_name(info.param);
                             return name == "AVX-512" ? std::string("AVX512") : name;
                         });

}  // namespace
}  // namespace talvik
