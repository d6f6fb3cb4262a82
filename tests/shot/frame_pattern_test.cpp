#include "shot/frame_pattern.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "shot/usage_error.h"
#include "tests/support/error_message.h"

namespace talvik::shot {
namespace {

TEST(FramePattern, HashRunsPadToTheirLength) {
    const auto p = FramePattern::parse("out/stmap.####.exr");
    ASSERT_TRUE(p.has_frame_field());
    EXPECT_EQ(p.path_for(1001), "out/stmap.1001.exr");
    EXPECT_EQ(p.path_for(7), "out/stmap.0007.exr");
    EXPECT_EQ(p.path_for(123456), "out/stmap.123456.exr");
    EXPECT_EQ(p.path_for(-5), "out/stmap.-005.exr");
    EXPECT_EQ(p.path_for(0), "out/stmap.0000.exr");

    EXPECT_EQ(FramePattern::parse("f#.exr").path_for(7), "f7.exr");
    EXPECT_EQ(FramePattern::parse("#######").path_for(42), "0000042");
}

TEST(FramePattern, PrintfFieldsMatchHashFields) {
    const auto hashes = FramePattern::parse("out/stmap.####.exr");
    const auto printf_style = FramePattern::parse("out/stmap.%04d.exr");
    for (int frame : {-1234, -5, 0, 7, 1001, 99999})
        EXPECT_EQ(printf_style.path_for(frame), hashes.path_for(frame)) << frame;

    const auto bare = FramePattern::parse("st_%d.exr");
    EXPECT_TRUE(bare.has_frame_field());
    EXPECT_EQ(bare.path_for(-12), "st_-12.exr");
    EXPECT_EQ(bare.path_for(3), "st_3.exr");
    EXPECT_EQ(FramePattern::parse("st_%06d.exr").path_for(1001), "st_001001.exr");
}

TEST(FramePattern, WithoutFrameFieldOnlyOneFrame) {
    const auto still = FramePattern::parse("out/50%_scale.exr");
    EXPECT_FALSE(still.has_frame_field());
    EXPECT_EQ(still.path_for(1001), "out/50%_scale.exr");
    EXPECT_NO_THROW(check_pattern_fits_frames(still, {1001}));
    const std::string message = test::error_message<UsageError>(
        [&] { check_pattern_fits_frames(still, {1001, 1002, 1003}); });
    EXPECT_CONTAINS(message, "\"out/50%_scale.exr\" has no frame field");
    EXPECT_CONTAINS(message, "1001-1003");
    EXPECT_NO_THROW(check_pattern_fits_frames(FramePattern::parse("a.#.exr"), {1, 2, 3}));
}

// Finding a sequence's frames on disk reads names back into frames: only
// the exact name a frame gets counts.
TEST(FramePattern, NamesReadBackIntoFrames) {
    const auto p = FramePattern::parse("plates/p.####.exr");
    EXPECT_EQ(p.frame_of("plates/p.1001.exr"), 1001);
    EXPECT_EQ(p.frame_of("plates/p.0007.exr"), 7);
    EXPECT_EQ(p.frame_of("plates/p.-005.exr"), -5);
    EXPECT_EQ(p.frame_of("plates/p.123456.exr"), 123456);
    EXPECT_EQ(p.frame_of("plates/p.7.exr"), std::nullopt);      // not padded as frame 7 is
    EXPECT_EQ(p.frame_of("plates/p.00007.exr"), std::nullopt);  // padded too far
    EXPECT_EQ(p.frame_of("plates/p.1001.exr.tmp"), std::nullopt);
    EXPECT_EQ(p.frame_of("plates/p..exr"), std::nullopt);
    EXPECT_EQ(p.frame_of("plates/p.10a1.exr"), std::nullopt);
    EXPECT_EQ(p.frame_of("plates/p.99999999999.exr"), std::nullopt);
    EXPECT_EQ(p.frame_of("other/p.1001.exr"), std::nullopt);
    EXPECT_EQ(FramePattern::parse("p.exr").frame_of("p.exr"), std::nullopt);
    EXPECT_EQ(FramePattern::parse("p_%d.exr").frame_of("p_12.exr"), 12);
}

TEST(FramePattern, DoublePercentIsOnePercentSign) {
    const auto literal = FramePattern::parse("out/x.%%04d.exr");
    EXPECT_FALSE(literal.has_frame_field());
    EXPECT_EQ(literal.path_for(1), "out/x.%04d.exr");
    const auto both = FramePattern::parse("out/100%%/st.%%.%04d.exr");
    EXPECT_EQ(both.path_for(7), "out/100%/st.%.0007.exr");
    EXPECT_EQ(both.fixed_folder(), "out/100%");
    EXPECT_EQ(both.file_name_prefix(), "st.%.");
}

TEST(FramePattern, FrameFieldMayStandInAFolderName) {
    const auto p = FramePattern::parse("d/shot_%04d/map.exr");
    EXPECT_EQ(p.path_for(12), "d/shot_0012/map.exr");
    EXPECT_EQ(p.fixed_folder(), "d");
    EXPECT_EQ(p.file_name_prefix(), "map.exr");
    EXPECT_EQ(FramePattern::parse("shot_##/map.exr").fixed_folder(), "");
    EXPECT_EQ(FramePattern::parse("/st.####.exr").fixed_folder(), "/");
    EXPECT_EQ(FramePattern::parse("a/b/st.exr").file_name_prefix(), "st.exr");
}

TEST(FramePattern, RejectsAmbiguousPatterns) {
    const struct {
        const char* pattern;
        const char* says;
    } cases[] = {
        {"a.##.%04d.exr", "more than one frame field"},
        {"shot#1/st.####.exr", "more than one frame field"},
        {"st.%d.%d.exr", "more than one frame field"},
        {"st.%4d.exr", "use \"%04d\""},
        {"", "empty"},
        {"st.%099d.exr", "padding width over"},
    };
    for (const auto& c : cases) {
        const std::string message =
            test::error_message<UsageError>([&] { FramePattern::parse(c.pattern); });
        EXPECT_CONTAINS(message, "bad output pattern \"" + std::string(c.pattern) + "\"");
        EXPECT_CONTAINS(message, c.says);
    }
}

}  // namespace
}  // namespace talvik::shot
