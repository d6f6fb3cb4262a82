// Deflate pieces made apart that join into one zlib stream any inflater
// reads, as a preview's pixels are made.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "deflate/piece_deflater.h"

namespace talvik::deflate {
namespace {

std::vector<uint8_t> random_bytes(size_t size, std::mt19937& random) {
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

std::vector<PieceSetting> every_setting() {
    std::vector<PieceSetting> settings;
    if (has_library(Library::Isal))
        for (int level = 0; level <= 3; ++level) settings.push_back({Library::Isal, level, false});
    for (int level : {1, 6, 9}) settings.push_back({Library::Zlib, level, false});
    settings.push_back({Library::Zlib, 1, true});
    return settings;
}

// Pieces of uneven sizes, some compressible and some not, deflated one by
// one (one deflater reused, as a worker does), then joined: zlib's own
// inflate gets the data back and the Adler-32 the stream ends with.
TEST(PieceDeflater, PiecesJoinIntoOneZlibStream) {
    std::mt19937 random(7);
    std::vector<uint8_t> data;
    std::vector<size_t> piece_sizes;
    for (size_t size : {1u, 70000u, 5u, 300000u, 4096u, 123457u}) {
        std::vector<uint8_t> piece = random_bytes(size, random);
        if (piece_sizes.size() % 2 == 1)
            for (size_t i = 0; i < size; ++i) piece[i] = static_cast<uint8_t>(i / 977 % 4);
        data.insert(data.end(), piece.begin(), piece.end());
        piece_sizes.push_back(size);
    }
    ASSERT_EQ(adler32_joined(adler32(1, data.data(), 10), adler32(1, data.data() + 10, 90), 90),
              adler32(1, data.data(), 100));
    for (const PieceSetting& setting : every_setting()) {
        SCOPED_TRACE(std::to_string(static_cast<int>(setting.library)) + " level " + std::to_string(setting.level) +
                     (setting.runs_only ? " runs" : ""));
        PieceDeflater deflater(setting);
        std::vector<uint8_t> stream = zlib_stream_head(setting);
        uint32_t adler = 1;
        size_t at = 0;
        for (size_t size : piece_sizes) {
            std::vector<uint8_t> out(piece_bound(size));
            const size_t n = deflater.deflate(data.data() + at, size, out.data(), out.size());
            ASSERT_GT(n, 0u);
            stream.insert(stream.end(), out.begin(), out.begin() + static_cast<ptrdiff_t>(n));
            adler = adler32_joined(adler, deflater.adler32(1, data.data() + at, size), size);
            at += size;
        }
        ASSERT_EQ(adler, adler32(1, data.data(), static_cast<uInt>(data.size())));
        const std::vector<uint8_t> end = zlib_stream_end(adler);
        stream.insert(stream.end(), end.begin(), end.end());
        std::vector<uint8_t> back(data.size() + 1);
        uLongf back_size = back.size();
        ASSERT_EQ(uncompress(back.data(), &back_size, stream.data(), stream.size()), Z_OK);
        back.resize(back_size);
        EXPECT_TRUE(back == data);
        // A piece that does not fit says so rather than cutting it short.
        std::vector<uint8_t> small(100);
        EXPECT_EQ(deflater.deflate(data.data() + 6, 70000, small.data(), small.size()), 0u);
    }
}

TEST(PieceDeflater, RefusesLevelsItHasNot) {
    EXPECT_THROW(PieceDeflater({Library::Zlib, 0, false}), std::invalid_argument);
    EXPECT_THROW(PieceDeflater({Library::Zlib, 10, false}), std::invalid_argument);
    if (has_library(Library::Isal)) {
        EXPECT_THROW(PieceDeflater({Library::Isal, 4, false}), std::invalid_argument);
    } else {
        EXPECT_THROW(PieceDeflater({Library::Isal, 1, false}), std::invalid_argument);
    }
}

}  // namespace
}  // namespace talvik::deflate
