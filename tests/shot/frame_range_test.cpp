#include "shot/frame_range.h"

#include <gtest/gtest.h>

#include <climits>
#include <numeric>
#include <stdexcept>

#include "shot/usage_error.h"
#include "tests/support/error_message.h"

namespace talvik::shot {
namespace {

using Frames = std::vector<int>;

Frames iota(int first, int last) {
    Frames f(static_cast<size_t>(last - first + 1));
    std::iota(f.begin(), f.end(), first);
    return f;
}

TEST(FrameRange, RangesStepsListsAndSingleFrames) {
    EXPECT_EQ(parse_frame_range("1001-1100"), iota(1001, 1100));
    EXPECT_EQ(parse_frame_range("1001-1010x3"), (Frames{1001, 1004, 1007, 1010}));
    // A step that overshoots the end stops before it.
    EXPECT_EQ(parse_frame_range("1-10x4"), (Frames{1, 5, 9}));
    EXPECT_EQ(parse_frame_range("1,5,10-12"), (Frames{1, 5, 10, 11, 12}));
    EXPECT_EQ(parse_frame_range("42"), (Frames{42}));
    EXPECT_EQ(parse_frame_range("7-7"), (Frames{7}));
}

TEST(FrameRange, NegativeFramesAndTheEndsOfInt) {
    EXPECT_EQ(parse_frame_range("-5--1"), iota(-5, -1));
    EXPECT_EQ(parse_frame_range("-2-2"), iota(-2, 2));
    EXPECT_EQ(parse_frame_range("-10--4x3"), (Frames{-10, -7, -4}));
    EXPECT_EQ(parse_frame_range("2147483645-2147483647"), (Frames{INT_MAX - 2, INT_MAX - 1, INT_MAX}));
    EXPECT_EQ(parse_frame_range("-2147483648--2147483647"), (Frames{INT_MIN, INT_MIN + 1}));
    EXPECT_EQ(parse_frame_range("0-2147483647x2147483647"), (Frames{0, INT_MAX}));
}

TEST(FrameRange, KeepsOrderAndDropsRepeats) {
    EXPECT_EQ(parse_frame_range(" 30 , 10-12 ,\t20 "), (Frames{30, 10, 11, 12, 20}));
    EXPECT_EQ(parse_frame_range("1-3,2,5,1,4-6"), (Frames{1, 2, 3, 5, 4, 6}));
}

// Nuke writes frame lists with blanks between items; commas still work,
// and the two mix.
TEST(FrameRange, BlanksSeparateItemsAsCommasDo) {
    EXPECT_EQ(parse_frame_range("1 3 4 8"), (Frames{1, 3, 4, 8}));
    EXPECT_EQ(parse_frame_range("1-4x1 8-10x1"), (Frames{1, 2, 3, 4, 8, 9, 10}));
    EXPECT_EQ(parse_frame_range("1-3\t\t7, 9 ,11"), (Frames{1, 2, 3, 7, 9, 11}));
    // A minus after a blank starts a negative frame, as in Nuke.
    EXPECT_EQ(parse_frame_range("-3 -1"), (Frames{-3, -1}));
    EXPECT_EQ(parse_frame_range("5 1-5"), (Frames{5, 1, 2, 3, 4}));
}

TEST(FrameRange, MalformedRangesSayWhatIsWrong) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"abc", "expected start frame at \"abc\""},
        {"10-", "missing end frame"},
        {"5-1", "end frame 1 is before start frame 5"},
        {"1-10x0", "step 0 must be positive"},
        {"1-10x-2", "step -2 must be positive"},
        {"1-10x", "missing step"},
        {"", "no frames given"},
        {"   ", "no frames given"},
        {"1,,2", "empty item"},
        {"1,", "empty item"},
        {"1-10y2", "unexpected \"y2\""},
        {"1 - 10", "write a range without blanks"},
        {" ,1", "empty item"},
        {"1, ,2", "empty item"},
        {"3x2", "unexpected \"x2\""},
        {"99999999999", "start frame \"99999999999\" is too large"},
        {"1-2147483648", "end frame \"2147483648\" is too large"},
        {"1-2000000", "more than 1000000 frames"},
    };
    for (const auto& c : cases) {
        const std::string message =
            test::error_message<UsageError>([&] { parse_frame_range(c.text); });
        EXPECT_CONTAINS(message, "bad frame range \"" + std::string(c.text) + "\"");
        EXPECT_CONTAINS(message, c.says);
    }
}

TEST(FrameRange, FormatsCompactlyAndParsesBack) {
    EXPECT_EQ(format_frames(iota(1001, 1100)), "1001-1100");
    EXPECT_EQ(format_frames({1, 2, 3, 7, 9, 11}), "1-3,7-11x2");
    EXPECT_EQ(format_frames({1, 3}), "1,3");
    EXPECT_EQ(format_frames({5, 3, 1}), "5,3,1");
    EXPECT_EQ(format_frames({-5, -4, -3}), "-5--3");
    EXPECT_EQ(format_frames({}), "");

    const Frames lists[] = {
        {1, 3, 4, 5, 10, 20, 30, 31},
        {9, 8, 7, 1, 2},
        {-7, -5, -3, -1, 0, 1},
        {INT_MIN, 0, INT_MAX},
        {100, 1, 2, 4, 8, 16},
    };
    for (const auto& frames : lists) EXPECT_EQ(parse_frame_range(format_frames(frames)), frames);
}

}  // namespace
}  // namespace talvik::shot
