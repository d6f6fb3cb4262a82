// Which generator st_map_row runs, and that many threads share it at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "lens/st_map_row.h"
#include "lens/st_map_row_targets.h"
#include "tests/support/lens_from_panel.h"

namespace talvik {
namespace {

TEST(RowDispatch, PicksTheWidestRunnableTarget) {
    const std::vector<RowTarget> targets = runnable_row_targets();
    ASSERT_FALSE(targets.empty());
    EXPECT_EQ(targets.front(), RowTarget::Scalar);
    EXPECT_TRUE(std::is_sorted(targets.begin(), targets.end()));
    EXPECT_EQ(dispatched_row_target(), targets.back());
#if defined(__x86_64__)
    EXPECT_TRUE(row_target_runnable(RowTarget::Sse2)) << "SSE2 is part of x86-64";
#endif
}

TEST(RowDispatch, ConcurrentRowsOfOneMapEqualTheScalarMap) {
    // Render threads each take rows of the same map, as the host does.
    LensModel lens = test::normalized(test::worked_lens(-0.05f, 0.01f));
    constexpr int kWidth = 333;
    constexpr int kHeight = 96;
    const FrameSize size = frame_size_from(kWidth, kHeight);
    for (int mode : {0, 1}) {
        lens.mode = mode;
        std::vector<float> want_s(kWidth * kHeight), want_t(want_s.size());
        std::vector<float> got_s(want_s.size()), got_t(want_s.size());
        for (int y = 0; y < kHeight; ++y) {
            st_map_row_scalar(lens, size, y, 0, kWidth, &want_s[y * kWidth], &want_t[y * kWidth]);
        }
        std::vector<std::thread> threads;
        constexpr int kThreads = 4;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&, i] {
                for (int y = i; y < kHeight; y += kThreads) {
                    st_map_row(lens, size, y, 0, kWidth, &got_s[y * kWidth], &got_t[y * kWidth]);
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(std::memcmp(want_s.data(), got_s.data(), want_s.size() * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(want_t.data(), got_t.data(), want_t.size() * sizeof(float)), 0);
    }
}

}  // namespace
}  // namespace talvik
