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

using limits = std::numeric_limits<float>;

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

TEST(NewtonStopThreshold, FloatTestAgreesWithTheDoubleTest) {
    // Every float within 2^16 ULPs of the threshold, a sample of every
    // exponent, and the special values, each with both signs.
    std::vector<float> steps;
    const uint32_t centre = bits_of(1e-5f);
    for (uint32_t u = centre - (1u << 16); u <= centre + (1u << 16); ++u) {
        steps.push_back(float_from_bits(u));
    }
    for (uint64_t u = 0; u <= 0x7fffffffu; u += 4093) steps.push_back(float_from_bits(u));
    for (float f : {0.0f, limits::denorm_min(), float_from_bits(0x007fffffu), limits::min(),
                    limits::max(), limits::infinity(), limits::quiet_NaN(),
                    float_from_bits(0x7fa00001u)}) {
        steps.push_back(f);
    }
    int stops = 0;
    for (const float step : steps) {
        for (const float signed_step : {step, -step}) {
            const bool scalar = std::fabs(static_cast<double>(signed_step)) < 1e-5;
            const bool vector = std::fabs(signed_step) <= kNewtonStopStepMax;
            ASSERT_EQ(vector, scalar) << std::hexfloat << signed_step;
            stops += scalar;
        }
    }
    // The walk really straddles the threshold.
    EXPECT_GT(stops, 1 << 17);
    EXPECT_LT(stops, static_cast<int>(steps.size()) * 2 - (1 << 17));
}

// Every real below this midpoint rounds to a float that stops.
double stopping_midpoint() {
    const double above = std::nextafter(kNewtonStopStepMax, 1.0f);
    return (kNewtonStopStepMax + above) / 2.0;  // exact: one bit more than a float
}

TEST(NewtonStopShortcut, ScaleIsAtLeastTheInverseMidpointAndTight) {
    // 24-bit times 25-bit significands: the double product is exact.
    const double product = static_cast<double>(kNewtonStopShortcutScale) * stopping_midpoint();
    EXPECT_GE(product, 1.0);
    EXPECT_LT(product, 1.0 + 0x1p-22) << "a looser scale sends more lanes to the division";
}

TEST(NewtonStopShortcut, ImpliesTheDividedStepStops) {
    // g walks across the boundary D * midpoint for D of every magnitude,
    // denormal and infinite included (past an infinite boundary the walk
    // reaches NaN g). Where the shortcut claims a stop, the rounded quotient
    // must stop; a little below the boundary it must claim one.
    int claims = 0;
    for (const float d : {limits::denorm_min(), 1e-40f, limits::min(), 1e-20f, 0.37f, 1.0f,
                          1.0000001f, 7.77f, 1e20f, limits::max(), limits::infinity()}) {
        const float boundary = static_cast<float>(d * stopping_midpoint());
        const uint32_t centre = bits_of(boundary);
        for (uint32_t u = centre > 4000 ? centre - 4000 : 0; u <= centre + 4000; ++u) {
            const float g = float_from_bits(u);
            for (const float signed_g : {g, -g}) {
                if (std::fabs(signed_g) * kNewtonStopShortcutScale < d) {
                    ASSERT_LE(std::fabs(signed_g / d), kNewtonStopStepMax)
                        << std::hexfloat << "g " << signed_g << " d " << d;
                    ++claims;
                }
            }
        }
        if (std::isnormal(boundary)) {
            EXPECT_LT(boundary * 0.999f * kNewtonStopShortcutScale, d) << std::hexfloat << d;
        }
    }
    EXPECT_GT(claims, 0);
}

}  // namespace
}  // namespace talvik
