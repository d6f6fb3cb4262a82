// The float stop tests of the vector Newton loop decide exactly as the
// scalar loop's fabs((double)step) < 1e-5, for every float that matters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "lens/newton_step_stop.h"

namespace talvik {
namespace {

float float_from_bits(uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

uint32_t bits_of(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

bool scalar_stops(float step) { return std::fabs(static_cast<double>(step)) < 1e-5; }
bool vector_stops(float step) { return std::fabs(step) <= kNewtonStopStepMax; }

TEST(NewtonStopThreshold, AgreesWithTheDoubleTestAroundTheThresholdAndAtSpecialValues) {
    const uint32_t centre = bits_of(1e-5f);
    std::vector<float> steps;
    constexpr uint32_t kUlps = 1u << 16;
    for (uint32_t u = centre - kUlps; u <= centre + kUlps; ++u) steps.push_back(float_from_bits(u));
    const float lim_inf = std::numeric_limits<float>::infinity();
    const float specials[] = {0.0f,
                              std::numeric_limits<float>::denorm_min(),
                              float_from_bits(0x007fffffu),  // largest denormal
                              std::numeric_limits<float>::min(),
                              1.0f,
                              std::numeric_limits<float>::max(),
                              lim_inf,
                              std::numeric_limits<float>::quiet_NaN(),
                              float_from_bits(0x7fa00001u),  // signalling NaN pattern
                              float_from_bits(0x7fffffffu)};
    for (float f : specials) steps.push_back(f);
    int stops = 0;
    for (const float step : steps) {
        for (const float signed_step : {step, -step}) {
            ASSERT_EQ(vector_stops(signed_step), scalar_stops(signed_step))
                << std::hexfloat << signed_step << " bits 0x" << std::hex << bits_of(signed_step);
            stops += scalar_stops(signed_step);
        }
    }
    // The walk straddles the threshold: both answers occur on each side.
    EXPECT_GT(stops, static_cast<int>(kUlps));
    EXPECT_LT(stops, static_cast<int>(steps.size()) * 2 - static_cast<int>(kUlps));
}

TEST(NewtonStopThreshold, AgreesForEveryFloatExponent) {
    // One float per 2^12 bit patterns over the whole range, both signs.
    for (uint64_t u = 0; u <= 0xffffffffu; u += 4093) {
        const float step = float_from_bits(static_cast<uint32_t>(u));
        ASSERT_EQ(vector_stops(step), scalar_stops(step)) << std::hexfloat << step;
    }
}

// Every real below this midpoint rounds to a float that stops.
double stopping_midpoint() {
    const double below = kNewtonStopStepMax;
    const double above = std::nextafter(kNewtonStopStepMax, 1.0f);
    return (below + above) / 2.0;  // exact: one more bit than a float
}

TEST(NewtonStopShortcut, ScaleIsAtLeastTheInverseMidpointAndTight) {
    // 24-bit times 25-bit significands: the double product is exact.
    const double product = static_cast<double>(kNewtonStopShortcutScale) * stopping_midpoint();
    EXPECT_GE(product, 1.0);
    EXPECT_LT(product, 1.0 + 0x1p-22) << "a looser scale sends more lanes to the division";
}

TEST(NewtonStopShortcut, ImpliesTheDividedStepStops) {
    // Walk g across the boundary g = D * midpoint for D of many magnitudes,
    // denormal and huge included; whenever the shortcut claims a stop, the
    // rounded quotient must stop too, and well below the boundary it claims.
    const float ds[] = {std::numeric_limits<float>::denorm_min(),
                        1e-40f,
                        std::numeric_limits<float>::min(),
                        1e-20f,
                        0.37f,
                        1.0f,
                        1.0000001f,
                        3.0f,
                        7.77f,
                        1e20f,
                        std::numeric_limits<float>::max(),
                        std::numeric_limits<float>::infinity()};
    int shortcuts = 0;
    for (const float d : ds) {
        const float boundary = static_cast<float>(static_cast<double>(d) * stopping_midpoint());
        const uint32_t centre = bits_of(boundary);
        for (uint32_t u = centre > 4000 ? centre - 4000 : 0; u <= centre + 4000; ++u) {
            const float g = float_from_bits(u);
            for (const float signed_g : {g, -g}) {
                const bool shortcut = std::fabs(signed_g) * kNewtonStopShortcutScale < d;
                const bool stops = std::fabs(signed_g / d) <= kNewtonStopStepMax;
                if (shortcut) {
                    ASSERT_TRUE(stops) << std::hexfloat << "g " << signed_g << " d " << d;
                    ++shortcuts;
                }
            }
        }
        const float well_below = boundary * 0.999f;
        if (d != std::numeric_limits<float>::infinity() && well_below > 0.0f &&
            std::isnormal(boundary)) {
            EXPECT_LT(well_below * kNewtonStopShortcutScale, d) << std::hexfloat << d;
        }
    }
    EXPECT_GT(shortcuts, 0);
}

TEST(NewtonStopShortcut, NeverClaimsNaNOrInfiniteSteps) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const float g : {nan, inf, -inf}) {
        for (const float d : {1.0f, inf, std::numeric_limits<float>::denorm_min()}) {
            EXPECT_FALSE(std::fabs(g) * kNewtonStopShortcutScale < d) << g << " " << d;
        }
    }
}

}  // namespace
}  // namespace talvik
