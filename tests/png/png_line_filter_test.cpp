// A preview's lines filtered as the PNG standard predicts them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

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

}  // namespace
}  // namespace talvik::png
