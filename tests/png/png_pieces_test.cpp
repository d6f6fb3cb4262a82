// The pieces a preview's pixels are made of: lines filtered as the PNG
// standard predicts them, and deflate pieces made apart that join into one
// zlib stream any inflater reads.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <vector>

#include "png/png_deflater.h"
#include "png/png_line_filter.h"

namespace talvik::png {
namespace {

// The predictors as the standard writes them, a byte at a time.
int paeth_predictor(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    if (pb <= pc) return b;
    return c;
}

std::vector<uint8_t> random_bytes(size_t size, std::mt19937& random) {
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

// Every length around the vector widths, and a 1920-pixel line; bytes at
// random, and near-equal neighbours where the predictor's ties decide.
TEST(PngLineFilter, PaethAndSubPredictAsTheStandardSays) {
    std::mt19937 random(26);
    std::vector<size_t> sizes;
    for (size_t size = 0; size <= 70; ++size) sizes.push_back(size);
    sizes.push_back(5760);
    for (size_t size : sizes) {
        for (int kind = 0; kind < 2; ++kind) {
            std::vector<uint8_t> line = random_bytes(size, random), above = random_bytes(size, random);
            if (kind == 1)
                for (size_t i = 0; i < size; ++i) above[i] = static_cast<uint8_t>(line[i] + random() % 3 - 1);
            std::vector<uint8_t> paeth(size + 1), sub(size + 1);
            filter_paeth(line.data(), above.data(), size, paeth.data());
            filter_sub(line.data(), size, sub.data());
            ASSERT_EQ(paeth[0], 4);
            ASSERT_EQ(sub[0], 1);
            for (size_t i = 0; i < size; ++i) {
                const int a = i >= 3 ? line[i - 3] : 0, b = above[i], c = i >= 3 ? above[i - 3] : 0;
                ASSERT_EQ(paeth[1 + i], static_cast<uint8_t>(line[i] - paeth_predictor(a, b, c)))
                    << "size " << size << ", byte " << i;
                ASSERT_EQ(sub[1 + i], static_cast<uint8_t>(line[i] - a)) << "size " << size << ", byte " << i;
            }
        }
    }
}

std::vector<PngDeflate> every_setting() {
    std::vector<PngDeflate> settings;
    if (has_png_deflate_library(PngDeflateLibrary::Isal))
        for (int level = 0; level <= 3; ++level) settings.push_back({PngDeflateLibrary::Isal, level, false});
    for (int level : {1, 6, 9}) settings.push_back({PngDeflateLibrary::Zlib, level, false});
    settings.push_back({PngDeflateLibrary::Zlib, 1, true});
    return settings;
}

// Pieces of uneven sizes, some compressible and some not, deflated one by
// one (one deflater reused, as a worker does), then joined: zlib's own
// inflate gets the data back and the Adler-32 the stream ends with.
TEST(PngDeflater, PiecesJoinIntoOneZlibStream) {
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
    for (const PngDeflate& setting : every_setting()) {
        SCOPED_TRACE(std::to_string(static_cast<int>(setting.library)) + " level " + std::to_string(setting.level) +
                     (setting.runs_only ? " runs" : ""));
        PngPieceDeflater deflater(setting);
        std::vector<uint8_t> stream = zlib_stream_head(setting);
        uint32_t adler = 1;
        size_t at = 0;
        for (size_t size : piece_sizes) {
            std::vector<uint8_t> out(png_piece_bound(size));
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

TEST(PngDeflater, RefusesLevelsItHasNot) {
    EXPECT_THROW(PngPieceDeflater({PngDeflateLibrary::Zlib, 0, false}), std::invalid_argument);
    EXPECT_THROW(PngPieceDeflater({PngDeflateLibrary::Zlib, 10, false}), std::invalid_argument);
    if (has_png_deflate_library(PngDeflateLibrary::Isal)) {
        EXPECT_THROW(PngPieceDeflater({PngDeflateLibrary::Isal, 4, false}), std::invalid_argument);
    } else {
        EXPECT_THROW(PngPieceDeflater({PngDeflateLibrary::Isal, 1, false}), std::invalid_argument);
    }
}

}  // namespace
}  // namespace talvik::png
