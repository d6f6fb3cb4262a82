// Time modes, the default rate and key time to frame rounding.
#include <gtest/gtest.h>

#include <climits>

#include "tests/fbx/ascii_text.h"

namespace talvik::fbx {
namespace {

using testing::AsciiTake;

std::string time_mode(const std::string& mode) {
    return "\t\tP: \"TimeMode\", \"enum\", \"\", \"\"," + mode + "\n";
}

std::string custom_rate(const std::string& fps) {
    return "\t\tP: \"CustomFrameRate\", \"double\", \"Number\", \"\"," + fps + "\n";
}

TEST(FrameRate, StandardTimeModes) {
    const struct {
        int mode;
        double fps;
    } modes[] = {{11, 24.0},           {10, 25.0},           {6, 30.0},  {7, 30.0},
                 {13, 24000.0 / 1001}, {9, 30000.0 / 1001}, {8, 30000.0 / 1001},
                 {3, 60.0},            {1, 120.0},           {4, 50.0},  {0, 24.0}};
    for (const auto& m : modes) {
        AsciiTake take;
        take.global_settings = time_mode(std::to_string(m.mode));
        EXPECT_EQ(testing::parse_text(take.text()).frames_per_second(), m.fps) << "mode " << m.mode;
    }
}

TEST(FrameRate, DefaultIs24WithoutATimeMode) {
    AsciiTake take;
    take.with_global_settings = false;
    EXPECT_EQ(testing::parse_text(take.text()).frames_per_second(), 24.0);
    take.with_global_settings = true;
    take.global_settings = custom_rate("30");  // a custom rate alone does not count
    EXPECT_EQ(testing::parse_text(take.text()).frames_per_second(), 24.0);
}

TEST(FrameRate, CustomRateNeedsAUsableCustomFrameRate) {
    AsciiTake take;
    take.global_settings = time_mode("14") + custom_rate("12.5");
    EXPECT_EQ(testing::parse_text(take.text()).frames_per_second(), 12.5);

    take.global_settings = time_mode("14");
    EXPECT_NE(testing::error_of_text(take.text()).find("no numeric CustomFrameRate"), std::string::npos);
    for (const char* bad : {"0", "-24", "-0.0"}) {
        take.global_settings = time_mode("14") + custom_rate(bad);
        EXPECT_NE(testing::error_of_text(take.text()).find("is not a positive frame rate"),
                  std::string::npos)
            << bad;
    }
    for (const char* bad : {"inf", "1e999", "\"24\""}) {
        take.global_settings = time_mode("14") + custom_rate(bad);
        EXPECT_NE(testing::error_of_text(take.text()).find("no numeric CustomFrameRate"),
                  std::string::npos)
            << bad;
    }
}

TEST(FrameRate, UnknownTimeModesAreRejected) {
    for (const char* mode : {"19", "-1", "100", "\"24\""}) {
        AsciiTake take;
        take.global_settings = time_mode(mode);
        const std::string message = testing::error_of_text(take.text(), "modes.fbx");
        EXPECT_EQ(message.rfind("modes.fbx: GlobalSettings TimeMode", 0), 0u) << message;
    }
}

TEST(FrameOf, RoundsHalvesAwayFromZero) {
    const Scene scene(default_frame_rate(), {}, {});
    const int64_t frame = kTicksPerSecond / 24;  // exact: 1924423250
    EXPECT_EQ(scene.frame_of(0), 0);
    EXPECT_EQ(scene.frame_of(1001 * frame), 1001);
    EXPECT_EQ(scene.frame_of(1001 * frame + frame / 2 - 1), 1001);
    EXPECT_EQ(scene.frame_of(1001 * frame + frame / 2), 1002);  // frame is even: an exact half
    EXPECT_EQ(scene.frame_of(-frame / 2 + 1), 0);
    EXPECT_EQ(scene.frame_of(-frame / 2), -1);
    EXPECT_EQ(scene.frame_of(-1001 * frame), -1001);
}

TEST(FrameOf, NtscFramesComeBackWhole) {
    const Scene scene(*standard_frame_rate(9), {}, {});
    for (int64_t n = 0; n <= 100000; n += 997) {
        // Frame n starts at n * 1001 / 30000 s, rounded to a tick.
        const int64_t ticks = (n * 1001 * kTicksPerSecond + 15000) / 30000;
        EXPECT_EQ(scene.frame_of(ticks), n);
        EXPECT_EQ(scene.frame_of(-ticks), -n);
    }
}

TEST(FrameOf, CustomRateAndSaturation) {
    const Scene custom(*custom_frame_rate(12.5), {}, {});
    EXPECT_EQ(custom.frame_of(11 * (kTicksPerSecond * 2 / 25)), 11);
    EXPECT_EQ(custom.frame_of(INT64_MAX), INT_MAX);
    EXPECT_EQ(custom.frame_of(INT64_MIN), INT_MIN);
    const Scene film(default_frame_rate(), {}, {});
    EXPECT_EQ(film.frame_of(INT64_MAX), INT_MAX);
    EXPECT_EQ(film.frame_of(INT64_MIN), INT_MIN);
}

}  // namespace
}  // namespace talvik::fbx
