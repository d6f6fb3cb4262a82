#include "shot/memory_check.h"

#include <gtest/gtest.h>

namespace talvik::shot {
namespace {

constexpr uint64_t kGiB = uint64_t{1} << 30;

TEST(MemoryCheck, FrameMustFitPhysicalMemoryAndWhatTheAddressSpaceLimitLeaves) {
    MemoryLimits roomy{64 * kGiB, std::nullopt, 0};
    EXPECT_FALSE(frame_memory_refusal(4320, 2160, roomy));
    // 65536 x 65536 x 24 bytes = 96 GiB.
    const auto refusal = frame_memory_refusal(65536, 65536, roomy);
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find("65536 x 65536 frame needs about 96.0 GiB"), std::string::npos) << *refusal;
    EXPECT_NE(refusal->find("physical memory 64.0 GiB, address-space limit unlimited"), std::string::npos) << *refusal;

    // 10000 x 10000 needs 2.2 GiB: 3 GiB of address space with 1 GiB in use is too little.
    const MemoryLimits limited{64 * kGiB, 3 * kGiB, kGiB};
    const auto short_of_space = frame_memory_refusal(10000, 10000, limited);
    ASSERT_TRUE(short_of_space);
    EXPECT_NE(short_of_space->find("address-space limit 3.0 GiB (1.0 GiB of it in use)"), std::string::npos);
    EXPECT_FALSE(frame_memory_refusal(10000, 10000, MemoryLimits{64 * kGiB, 4 * kGiB, kGiB}));
    EXPECT_TRUE(frame_memory_refusal(10000, 10000, MemoryLimits{2 * kGiB, std::nullopt, 0}));
    // Already over the limit: nothing is left, not a wrapped-around fortune.
    EXPECT_TRUE(frame_memory_refusal(1, 1, MemoryLimits{64 * kGiB, kGiB, 2 * kGiB}));
}

}  // namespace
}  // namespace talvik::shot
