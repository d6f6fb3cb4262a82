#include "shot/memory_check.h"

#include <gtest/gtest.h>

namespace talvik::shot {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kGiB = uint64_t{1} << 30;

using exr::StMapCompression;

TEST(MemoryCheck, FrameMustFitPhysicalMemoryAndWhatTheAddressSpaceLimitLeaves) {
    const FrameWork piz{StMapCompression::Piz, 1, 0};
    MemoryLimits roomy{64 * kGiB, std::nullopt, 0};
    EXPECT_FALSE(frame_memory_refusal(4320, 2160, piz, roomy));
    // 65536 x 65536 gathered whole: 2 x 8 bytes a pixel = 64 GiB, 1/16 more
    // for room, and more for the threads.
    const auto refusal = frame_memory_refusal(65536, 65536, piz, roomy);
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find("65536 x 65536 frame needs about 68.1 GiB"), std::string::npos) << *refusal;
    EXPECT_NE(refusal->find("physical memory 64.0 GiB, address-space limit unlimited"), std::string::npos) << *refusal;

    // 10000 x 10000 needs 1.6 GiB: 2 GiB of address space with 1 GiB in use is too little.
    const MemoryLimits limited{64 * kGiB, 2 * kGiB, kGiB};
    const auto short_of_space = frame_memory_refusal(10000, 10000, piz, limited);
    ASSERT_TRUE(short_of_space);
    EXPECT_NE(short_of_space->find("address-space limit 2.0 GiB (1.0 GiB of it in use)"), std::string::npos);
    EXPECT_FALSE(frame_memory_refusal(10000, 10000, piz, MemoryLimits{64 * kGiB, 3 * kGiB, kGiB}));
    EXPECT_TRUE(frame_memory_refusal(10000, 10000, piz, MemoryLimits{kGiB, std::nullopt, 0}));
    // Already over the limit: nothing is left, not a wrapped-around fortune.
    EXPECT_TRUE(frame_memory_refusal(1, 1, piz, MemoryLimits{64 * kGiB, kGiB, 2 * kGiB}));
}

// ZIP maps are written band by band: per thread, a band the host made and
// two packed bands waiting for the file (plus a chunk of scratch), each
// 2 MiB of map, and 4 MiB for the deflater and the heap.
TEST(MemoryCheck, BandedMapsNeedAFewBandsPerThreadNotTheFrame) {
    // 2 x (4 x 2 + 4) MiB, and 270 chunk offsets of 8 bytes.
    EXPECT_EQ(frame_memory_need(8192, 4320, FrameWork{StMapCompression::Zip, 2, 0}), 24 * kMiB + 270 * 8);
    // The frame size hardly matters; the threads do.
    EXPECT_EQ(frame_memory_need(1920, 1080, FrameWork{StMapCompression::Zips, 8, 0}), 96 * kMiB + 1080 * 8);
    // A chunk of 16 lines of 65536 pixels is 8 MiB: a band is that chunk.
    EXPECT_EQ(frame_memory_need(65536, 16, FrameWork{StMapCompression::Zip, 1, 0}), 36 * kMiB + 8);
    // Under ulimit -v 400000 with 44 MiB in use, an 8192 x 4320 ZIP map fits.
    EXPECT_FALSE(frame_memory_refusal(8192, 4320, FrameWork{StMapCompression::Zip, 2, 0},
                                      MemoryLimits{64 * kGiB, 400000 * uint64_t{1024}, 44 * kMiB}));
    // A preview at most 1920 wide: 1920 x 1013 pixels of 16 bytes, and an
    // int per preview row and column.
    EXPECT_EQ(frame_memory_need(8192, 4320, FrameWork{StMapCompression::Zip, 2, 1920}),
              24 * kMiB + 270 * 8 + 1920 * 1013 * 16 + (1920 + 1013) * 4);
}

// PIZ and RLE go through OpenEXR's writer, which takes the whole map: 16
// bytes a pixel, 1/16 and 16 MiB more for room, and per thread two line
// buffers (PIZ: 32 lines) of three copies, a band and 4 MiB.
TEST(MemoryCheck, OpenExrCompressionsNeedTheWholeFrame) {
    const uint64_t frame = uint64_t{8192} * 4320 * 16;  // 540 MiB
    const uint64_t piz_thread = 2 * 3 * 32 * 8192 * 8 + 2 * kMiB + 4 * kMiB;
    EXPECT_EQ(frame_memory_need(8192, 4320, FrameWork{StMapCompression::Piz, 2, 0}),
              frame + frame / 16 + 16 * kMiB + 2 * piz_thread);
    const uint64_t rle_thread = 2 * 3 * 1 * 8192 * 8 + 2 * kMiB + 4 * kMiB;
    EXPECT_EQ(frame_memory_need(8192, 4320, FrameWork{StMapCompression::Rle, 2, 0}),
              frame + frame / 16 + 16 * kMiB + 2 * rle_thread);
    EXPECT_TRUE(frame_memory_refusal(8192, 4320, FrameWork{StMapCompression::Piz, 2, 0},
                                     MemoryLimits{64 * kGiB, 400000 * uint64_t{1024}, 44 * kMiB}));
    // Measuring alone: 64 rows per thread.
    EXPECT_EQ(frame_memory_need(8192, 4320, FrameWork{std::nullopt, 2, 0}), 2 * (64 * 8192 * 8 + 4 * kMiB));
}

}  // namespace
}  // namespace talvik::shot
