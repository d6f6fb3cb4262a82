#include "cli/options/option_suggestion.h"

#include <gtest/gtest.h>

namespace talvik::cli {
namespace {

TEST(OptionSuggestion, EditDistanceCountsInsertionsDeletionsAndSubstitutions) {
    struct Case { const char* a; const char* b; size_t distance; };
    for (const Case& c : std::vector<Case>{{"", "", 0}, {"", "abc", 3}, {"abc", "", 3}, {"--size", "--sise", 1},
                                          {"kitten", "sitting", 3}, {"--preview", "--previw", 1},
                                          {"flaw", "lawn", 2}}) {
        EXPECT_EQ(edit_distance(c.a, c.b), c.distance) << c.a << " / " << c.b;
        EXPECT_EQ(edit_distance(c.b, c.a), c.distance) << "symmetric";
    }
}

TEST(OptionSuggestion, NearestIsTheClosestNameOnlyWhenNearEnough) {
    const std::vector<std::string> known = {"--size", "--set", "--plate", "--frames", "-o", "--output"};
    EXPECT_EQ(nearest_option("--sise", known), "--size");
    EXPECT_EQ(nearest_option("--frame", known), "--frames");
    EXPECT_EQ(nearest_option("--outptu", known), "--output");
    EXPECT_EQ(nearest_option("--banana-split", known), "");
    EXPECT_EQ(nearest_option("--x", {}), "");
}

}  // namespace
}  // namespace talvik::cli
