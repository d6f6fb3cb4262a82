#include "shot/overscan.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "shot/usage_error.h"
#include "tests/support/error_message.h"

namespace talvik::shot {
namespace {

Margins margins(const std::string& request, int width, int height) {
    return fixed_margins(parse_overscan_request(request), width, height);
}

TEST(OverscanRequest, FormsGiveTheirMargins) {
    EXPECT_EQ(margins("64", 1920, 1080), (Margins{64, 64, 64, 64}));
    EXPECT_EQ(margins("96x54", 1920, 1080), (Margins{96, 96, 54, 54}));
    EXPECT_EQ(margins("0x7", 1920, 1080), (Margins{0, 0, 7, 7}));
    // Each side its own, in the order auto reports them.
    EXPECT_EQ(margins("16,0,9,0", 1920, 1080), (Margins{16, 0, 9, 0}));
    EXPECT_EQ(margins("1,2,3,4", 1920, 1080), (Margins{1, 2, 3, 4}));
    // 10% of 1920 is 192, 96 a side exactly: no rounding up through 0.1 * 1920.
    EXPECT_EQ(margins("10%", 1920, 1080), (Margins{96, 96, 54, 54}));
    EXPECT_EQ(margins("0%", 1920, 1080), (Margins{}));
    // 1% of 1921 is 19.21, 9.605 a side: rounded up.
    EXPECT_EQ(margins("1%", 1921, 1081), (Margins{10, 10, 6, 6}));
    EXPECT_EQ(margins("0.1%", 1920, 1080), (Margins{1, 1, 1, 1}));
    EXPECT_EQ(margins("33.333333%", 300, 300), (Margins{50, 50, 50, 50}));
    EXPECT_EQ(margins("1000%", 4, 2), (Margins{20, 20, 10, 10}));
    EXPECT_EQ(parse_overscan_request("auto").kind, OverscanRequest::Kind::Auto);
    EXPECT_THROW(fixed_margins(parse_overscan_request("auto"), 10, 10), std::logic_error);
}

TEST(OverscanRequest, NonsenseIsRefusedByName) {
    for (const char* bad : {"", "-5", "+5", " 5", "5 ", "5x", "x5", "5x5x5", "5X5", "1e3", "0x-1", "ten", "Auto",
                            "auto%", "%", "10.%", ".5%", "-1%", "1000.5%", "1%%", "0.1234567%", "65537",
                            "99999999999999999999", "3.5", "1,2,3", "1,2,3,4,5", "1,,2,3", "1,2,3,", ",1,2,3",
                            "1,2,-3,4", "1,2,3,65537", "1x2,3,4"}) {
        const std::string message =
            test::error_message<UsageError>([&] { parse_overscan_request(bad); });
        EXPECT_CONTAINS(message, std::string("--overscan \"") + bad + "\"");
        EXPECT_CONTAINS(message, "N, XxY, P% or auto");
    }
    EXPECT_NO_THROW(parse_overscan_request("65536"));
}

}  // namespace
}  // namespace talvik::shot
