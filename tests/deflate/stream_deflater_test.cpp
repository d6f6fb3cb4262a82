// Each deflate library this build has makes zlib streams that plain zlib
// inflates, with its own codes or with codes fitted to a sample, and says so
// when a stream would not fit.
#include "deflate/stream_deflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvik::deflate {
namespace {

std::vector<uint8_t> inflate_all(const std::vector<uint8_t>& stream, size_t size) {
    std::vector<uint8_t> out(size);
    uLongf length = static_cast<uLongf>(size);
    EXPECT_EQ(uncompress(out.data(), &length, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
    EXPECT_EQ(length, size);
    return out;
}

TEST(StreamDeflater, EveryLibraryWritesZlibStreams) {
    ASSERT_FALSE(stream_libraries().empty());
    std::vector<uint8_t> text(100000);
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>((i * i / 7) % 13 + (i % 251 == 0));
    for (Library library : stream_libraries()) {
        for (int level = 1; level <= max_level(library); ++level) {
            SCOPED_TRACE(std::string(library_name(library)) + " level " + std::to_string(level));
            StreamDeflater deflater(library, level);
            std::vector<uint8_t> stream(text.size());
            for (int round = 0; round < 2; ++round) {  // the deflater is reusable
                const size_t size = deflater.compress(text.data(), text.size(), stream.data(), stream.size() - 1);
                ASSERT_GT(size, 2u);
                EXPECT_LT(size, text.size() / 4);
                // zlib header: deflate method, check bits; Adler-32 at the end.
                EXPECT_EQ(stream[0] & 0x0f, 8);
                EXPECT_EQ((stream[0] * 256 + stream[1]) % 31, 0);
                const std::vector<uint8_t> zlib_stream(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(size));
                EXPECT_TRUE(inflate_all(zlib_stream, text.size()) == text);
            }
        }
        EXPECT_THROW(StreamDeflater(library, max_level(library) + 1), std::invalid_argument);
        EXPECT_THROW(StreamDeflater(library, -1), std::invalid_argument);
    }
}

TEST(StreamDeflater, ReportsStreamsThatDoNotFit) {
    std::mt19937 random(5);
    std::vector<uint8_t> noise(70000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    for (Library library : stream_libraries()) {
        SCOPED_TRACE(library_name(library));
        StreamDeflater deflater(library);
        std::vector<uint8_t> stream(noise.size() + 1000);
        EXPECT_EQ(deflater.compress(noise.data(), noise.size(), stream.data(), noise.size() - 1), 0u);
        // With room enough the same bytes still round-trip (stored blocks).
        const size_t size = deflater.compress(noise.data(), noise.size(), stream.data(), stream.size());
        ASSERT_GT(size, noise.size());
        stream.resize(size);
        EXPECT_TRUE(inflate_all(stream, noise.size()) == noise);
    }
}

// Codes fitted to a sample of few byte values still code what the sample
// never held: every byte value, and matches of every length and distance.
TEST(FittedCodes, DataUnlikeTheSampleStillRoundTrips) {
    std::vector<uint8_t> sample(20000);
    for (size_t i = 0; i < sample.size(); ++i) sample[i] = static_cast<uint8_t>(120 + (i * 7 / 5) % 9);
    std::mt19937 random(11);
    std::vector<uint8_t> noise(50000), runs(300000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    // Repeats at distances from 1 to 32 K, and runs longer than a match.
    for (size_t i = 0; i < runs.size(); ++i) {
        const size_t back = size_t(1) << (i / 20000 % 16);
        runs[i] = i >= back && i % 3 ? runs[i - back] : static_cast<uint8_t>(random());
    }
    std::fill(runs.begin() + 1000, runs.begin() + 5000, uint8_t{0});
    const std::vector<uint8_t>* inputs[] = {&sample, &noise, &runs};

    FittedCodes codes, same;
    codes.fit(sample.data(), sample.size());
    same.fit(sample.data(), sample.size());
    ASSERT_TRUE(codes.fitted());
    for (Library library : stream_libraries()) {
        StreamDeflater deflater(library);
        for (const std::vector<uint8_t>* input : inputs) {
            SCOPED_TRACE(std::string(library_name(library)) + ", " + std::to_string(input->size()) + " bytes");
            std::vector<uint8_t> stream(input->size() + 1000), again(stream.size()), own(stream.size());
            const size_t size = deflater.compress(input->data(), input->size(), stream.data(), stream.size(), &codes);
            ASSERT_GT(size, 2u);
            stream.resize(size);
            EXPECT_TRUE(inflate_all(stream, input->size()) == *input);
            // The same sample gives the same stream.
            again.resize(deflater.compress(input->data(), input->size(), again.data(), again.size(), &same));
            EXPECT_TRUE(again == stream);
            // ISA-L codes with them, not with its own level's codes.
            own.resize(deflater.compress(input->data(), input->size(), own.data(), own.size()));
            if (library == Library::Isal && input != &noise) {
                EXPECT_FALSE(own == stream);
            }
        }
    }
}

}  // namespace
}  // namespace talvik::deflate
