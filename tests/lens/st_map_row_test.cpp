// Row generation: bounds, mode selection, the frame-size rule, and anamorphic
// maps against the lens model in double precision.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "lens/st_map_row.h"
#include "lens/st_map_row_targets.h"
#include "tests/support/double_lens.h"
#include "tests/support/lens_from_panel.h"

namespace talvik {
namespace {

constexpr float kSentinel = -12345.0f;

TEST(FrameSizeRule, OnlyZeroIsReplaced) {
    const FrameSize missing = frame_size_from(0, 1080);
    EXPECT_EQ(missing.width, 4320.0f);
    EXPECT_EQ(missing.height, 1080.0f);
    const FrameSize both = frame_size_from(0, 0);
    EXPECT_EQ(both.height, 2160.0f);
    const FrameSize negative = frame_size_from(-64, 720);
    EXPECT_EQ(negative.width, -64.0f);
    EXPECT_EQ(FrameSize{}.width, 4320.0f);
}

TEST(StMapRow, WritesOnlyTheRequestedPixels) {
    const LensModel lens = test::normalized(test::worked_lens(-0.05f, 0.01f));
    std::vector<float> s(64, kSentinel), t(64, kSentinel);
    st_map_row_scalar(lens, FrameSize{}, 7, 10, 10, s.data(), t.data());
    st_map_row_scalar(lens, FrameSize{}, 7, 12, 3, s.data(), t.data());
    for (float v : s) EXPECT_EQ(v, kSentinel);

    st_map_row_scalar(lens, FrameSize{}, 7, 5, 40, s.data(), t.data());
    for (int x = 0; x < 64; ++x) {
        const bool inside = x >= 5 && x < 40;
        EXPECT_EQ(s[x] != kSentinel, inside) << x;
        EXPECT_EQ(t[x] != kSentinel, inside) << x;
    }
}

TEST(StMapRow, DistortOfDefaultsIsTheIdentity) {
    const LensModel lens = test::normalized(test::PanelLens{});
    std::vector<float> s(4320), t(4320);
    st_map_row_scalar(lens, FrameSize{}, 0, 0, 4320, s.data(), t.data());
    EXPECT_EQ(s[0], 0.00011575222f);
    EXPECT_NEAR(t[0], 0.5 / 2160, 3e-8);
    for (int x = 0; x < 4320; x += 97) EXPECT_NEAR(s[x], (x + 0.5) / 4320, 3e-8);
}

TEST(StMapRow, NonZeroModeUndistorts) {
    test::PanelLens panel = test::worked_lens(0.05f, 0.01f);
    for (int mode : {1, 2, -1}) {
        panel.mode = mode;
        const LensModel lens = test::normalized(panel);
        float s[1], t[1];
        st_map_row_scalar(lens, FrameSize{}, 0, 0, 1, s, t);
        const float2 expected = lens._undistort_v2({0.5f / 4320, 0.5f / 2160});
        EXPECT_EQ(s[0], expected.x);
        EXPECT_EQ(t[0], expected.y);
    }
    // An ideal lens undistorts to the identity vertically, scaled across.
    test::PanelLens ideal;
    ideal.mode = 1;
    std::vector<float> s(301), t(301);
    st_map_row_scalar(test::normalized(ideal), frame_size_from(1920, 1080), 100, 300, 301,
                      s.data(), t.data());
    EXPECT_NEAR(t[300], 100.5 / 1080, 3e-8);
    EXPECT_NEAR(s[300], 0.999999 * (300.5 / 1920 - 0.5) + 0.5, 3e-8);
}

TEST(StMapRow, DispatchedRowsEqualTheScalarDefinition) {
    const LensModel lens = test::normalized(test::worked_lens(-0.05f, 0.01f));
    std::vector<float> s1(300), t1(300), s2(300), t2(300);
    for (int mode : {0, 1}) {
        LensModel l = lens;
        l.mode = mode;
        st_map_row_scalar(l, frame_size_from(300, 200), 13, 3, 299, s1.data(), t1.data());
        st_map_row(l, frame_size_from(300, 200), 13, 3, 299, s2.data(), t2.data());
        for (int x = 3; x < 299; ++x) {
            EXPECT_EQ(s1[x], s2[x]);
            EXPECT_EQ(t1[x], t2[x]);
        }
    }
}

// Anamorphic lenses, whose vertical edge fit differs from the horizontal
// one, against the model in double precision: every pixel of a 64 x 36 map
// in both Modes, on every row generator this CPU runs.
TEST(StMapRow, AnamorphicMapsMatchTheDoublePrecisionModel) {
    test::PanelLens barrel;
    barrel.anamorphic = true;
    barrel.fy = 1400.0f;
    barrel.k1 = -0.05f;
    test::PanelLens off_centre = test::worked_lens(0.08f, -0.01f);
    off_centre.anamorphic = true;
    off_centre.fy = 2600.0f;
    constexpr int kWidth = 64, kHeight = 36;
    for (test::PanelLens panel : {barrel, off_centre}) {
        for (int mode : {0, 1}) {
            panel.mode = mode;
            const test::DoubleLens model(panel);
            const LensModel lens = test::normalized(panel);
            for (RowTarget target : runnable_row_targets()) {
                SCOPED_TRACE(std::string(row_target_name(target)) + " mode " + std::to_string(mode) +
                             " fy " + std::to_string(panel.fy));
                std::vector<float> s(kWidth), t(kWidth);
                for (int y = 0; y < kHeight; ++y) {
                    st_map_row_on(target, lens, frame_size_from(kWidth, kHeight), y, 0, kWidth, s.data(),
                                  t.data());
                    for (int x = 0; x < kWidth; ++x) {
                        double want_s, want_t;
                        ASSERT_TRUE(model.st(x, y, kWidth, kHeight, &want_s, &want_t));
                        ASSERT_NEAR(s[x], want_s, 1e-6) << x << ", " << y;
                        ASSERT_NEAR(t[x], want_t, 1e-6) << x << ", " << y;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace talvik
