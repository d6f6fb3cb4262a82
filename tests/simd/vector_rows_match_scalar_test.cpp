// Every vector target against st_map_row_scalar, bit for bit (memcmp, so NaN
// payloads and zero signs count), over whole rows, rows starting and ending
// mid-vector, and guard cells that must stay untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "lens/st_map_row.h"
#include "lens/st_map_row_targets.h"
#include "lens_cases.h"
#include "tests/lens/lens_from_panel.h"

namespace talvik {
namespace {

constexpr int kGuard = 19;  // cells either side of the addressed span
constexpr float kSentinel = -12345.678f;

struct Range {
    int x0;
    int x1;
};

// One call's output with kGuard sentinel cells before x = 0 and after
// x = span.
struct RowBuffers {
    explicit RowBuffers(int span) : s(span + 2 * kGuard, kSentinel), t(s) {}
    float* s_at_zero() { return s.data() + kGuard; }
    float* t_at_zero() { return t.data() + kGuard; }
    std::vector<float> s;
    std::vector<float> t;
};

uint32_t bits_of(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Fails with the first differing cell (x relative to the row start).
void expect_same_bits(const std::vector<float>& want, const std::vector<float>& got,
                      const char* channel) {
    ASSERT_EQ(want.size(), got.size());
    if (std::memcmp(want.data(), got.data(), want.size() * sizeof(float)) == 0) return;
    for (size_t i = 0; i < want.size(); ++i) {
        if (bits_of(want[i]) != bits_of(got[i])) {
            ADD_FAILURE() << channel << " differs at x = " << static_cast<long>(i) - kGuard
                          << ": scalar " << want[i] << " (0x" << std::hex << bits_of(want[i])
                          << "), vector " << got[i] << " (0x" << bits_of(got[i]) << ")";
            return;
        }
    }
}

// Row y over [x0, x1) on the target and on the scalar definition, into
// buffers spanning [0, span); the scalar one leaves sentinels outside the
// range, so equal buffers also prove the target wrote nothing there.
void expect_row_matches(RowTarget target, const LensModel& lens, FrameSize size, int y,
                        Range range, int span) {
    SCOPED_TRACE("y " + std::to_string(y) + ", x " + std::to_string(range.x0) + ".." +
                 std::to_string(range.x1));
    RowBuffers want(span), got(span);
    st_map_row_scalar(lens, size, y, range.x0, range.x1, want.s_at_zero(), want.t_at_zero());
    st_map_row_on(target, lens, size, y, range.x0, range.x1, got.s_at_zero(), got.t_at_zero());
    expect_same_bits(want.s, got.s, "s");
    expect_same_bits(want.t, got.t, "t");
}

class VectorRows : public ::testing::TestWithParam<RowTarget> {
protected:
    void SetUp() override {
        if (!row_target_runnable(GetParam())) {
            GTEST_SKIP() << row_target_name(GetParam()) << " does not run on this CPU";
        }
    }
};

struct Frame {
    int width;
    int height;
};

TEST_P(VectorRows, EveryLensOnOddFramesWholeRowsAndPartialRows) {
    const Frame frames[] = {{1, 1}, {3, 2}, {5, 7}, {17, 9}, {4321, 2160}, {-64, 720}};
    for (const test::LensCase& lens_case : test::lens_cases()) {
        SCOPED_TRACE(lens_case.name);
        for (const Frame frame : frames) {
            SCOPED_TRACE("frame " + std::to_string(frame.width) + "x" +
                         std::to_string(frame.height));
            const FrameSize size = frame_size_from(frame.width, frame.height);
            const int w = frame.width < 0 ? -frame.width : frame.width;
            // Whole row, from x0 > 0, ending mid-vector, one pixel, empty,
            // reversed, and running past the frame's right edge.
            const Range ranges[] = {{0, w},         {1, w},     {3, w - 2}, {w / 3, w / 3 + 21},
                                    {w - 1, w},     {w / 2, w / 2}, {5, 2},  {w - 3, w + 30}};
            const int rows[] = {0, frame.height / 2, frame.height - 1, frame.height + 3};
            for (const int y : rows) {
                for (Range range : ranges) {
                    if (range.x0 < 0) range.x0 = 0;
                    expect_row_matches(GetParam(), lens_case.lens, size, y, range, w + 30);
                }
            }
        }
    }
}

TEST_P(VectorRows, EveryStartAndLengthAcrossVectorGroups) {
    // Every alignment of x0 and every length up to past the widest group of
    // Newton vectors (4 x 16 lanes) plus a few single vectors and a
    // remainder, on lenses whose lanes leave the Newton loop at different
    // passes, folded lanes included.
    const LensModel barrel = test::normalized(test::worked_lens(-0.05f, 0.01f));
    const LensModel folding = test::normalized(test::worked_lens(-0.2f, 0.0f));
    const FrameSize size = frame_size_from(200, 48);
    for (const LensModel& base : {barrel, folding}) {
        for (int mode : {0, 1}) {
            LensModel lens = base;
            lens.mode = mode;
            for (int x0 = 0; x0 <= 17; ++x0) {
                for (int x1 = x0; x1 <= x0 + 150; ++x1) {
                    expect_row_matches(GetParam(), lens, size, 5, {x0, x1}, 200);
                }
            }
        }
    }
}

TEST_P(VectorRows, RandomLensesInBothModes) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> k1(-0.6f, 0.6f), k2(-0.2f, 0.2f), centre(-200.0f, 200.0f),
        focal(300.0f, 3000.0f);
    const FrameSize size = frame_size_from(517, 301);
    for (int i = 0; i < 150; ++i) {
        test::PanelLens panel;
        panel.k1 = k1(random);
        panel.k2 = k2(random);
        panel.cx = centre(random);
        panel.cy = centre(random);
        panel.fx = focal(random);
        panel.fy = focal(random);
        panel.anamorphic = i % 3 == 0;
        panel.mode = i % 2;
        const LensModel lens = test::normalized(panel);
        SCOPED_TRACE("lens " + std::to_string(i));
        for (const int y : {0, 150, 300}) {
            expect_row_matches(GetParam(), lens, size, y, {0, 517}, 517);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, VectorRows,
                         ::testing::Values(RowTarget::Sse2, RowTarget::Avx2, RowTarget::Avx512),
                         [](const ::testing::TestParamInfo<RowTarget>& info) {
                             std::string name = row_target_name(info.param);
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

}  // namespace
}  // namespace talvik
