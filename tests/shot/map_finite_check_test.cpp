#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "shot/frame_checks.h"

namespace talvik::shot {
namespace {

// The message of check_map_finite for a 7 x 3 band (rows 100-102 of the
// map) holding `bad` at (x, y) of one plane, or "" when it passes.
std::string refusal(float bad, bool in_t, int x, int y) {
    constexpr int kWidth = 7, kRows = 3;
    std::vector<float> s(kWidth * kRows, 0.5f), t(kWidth * kRows, 0.25f);
    (in_t ? t : s)[static_cast<size_t>(y) * kWidth + x] = bad;
    io::StMapView band;
    band.width = kWidth;
    band.height = kRows;
    band.s = s.data();
    band.t = t.data();
    const std::vector<ControlValue> lens = {{"k1", 0.25f}, {"Mode", std::string("Undistort")}};
    try {
        check_map_finite(band, 1001, lens, 100);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

TEST(MapFiniteCheck, NamesTheFirstPixelWithoutAFinitePositionInTheWholeMap) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    struct Case {
        float value;
        bool in_t;
        int x, y;
        const char* pixel;  // "" when the band passes
    } cases[] = {
        {std::nanf(""), false, 0, 0, "(0, 100)"},
        {-std::nanf(""), true, 6, 2, "(6, 102)"},
        {kInf, false, 3, 1, "(3, 101)"},
        {-kInf, true, 5, 0, "(5, 100)"},
        // Extremes that are still numbers pass.
        {std::numeric_limits<float>::max(), false, 2, 2, ""},
        {-std::numeric_limits<float>::max(), true, 1, 1, ""},
        {std::numeric_limits<float>::denorm_min(), false, 4, 0, ""},
    };
    for (const Case& c : cases) {
        const std::string message = refusal(c.value, c.in_t, c.x, c.y);
        SCOPED_TRACE(std::to_string(c.value) + (c.in_t ? " in t" : " in s"));
        if (*c.pixel == '\0') {
            EXPECT_EQ(message, "");
            continue;
        }
        EXPECT_NE(message.find(std::string("frame 1001: the lens gives no finite position at pixel ") + c.pixel),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find("k1=0.25"), std::string::npos) << message;
        EXPECT_NE(message.find("Mode=Undistort"), std::string::npos) << message;
    }
}

}  // namespace
}  // namespace talvik::shot
