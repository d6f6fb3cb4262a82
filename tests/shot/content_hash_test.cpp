// A take's identity is xxHash's XXH3-128 of its bytes: the published value
// of the empty input, the library's one-shot hash of a file read in several
// blocks, and files that differ in one byte far from the start.
#include "shot/content_hash.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "tests/support/scratch_folder.h"
#include "tests/support/xxh3_hex.h"

namespace talvik::shot {
namespace {

using test::ScratchFolder;
using test::write_bytes;

TEST(ContentHash, IsXxh3Of128BitsOverTheWholeFile) {
    ScratchFolder dir;
    write_bytes(dir.file("empty"), "");
    // xxHash's own value for no bytes (xxh128sum of an empty file).
    EXPECT_EQ(file_content_hash(dir.file("empty")), "99aa06d3014798d86001c324468d497f");

    // Larger than one read: the blocks hash as the whole.
    std::string bytes(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    write_bytes(dir.file("big"), bytes);
    EXPECT_EQ(file_content_hash(dir.file("big")), test::xxh3_128_hex(bytes));
    bytes[bytes.size() - 3] ^= 1;
    write_bytes(dir.file("big2"), bytes);
    EXPECT_NE(file_content_hash(dir.file("big2")), file_content_hash(dir.file("big")));

    EXPECT_THROW(file_content_hash(dir.file("missing")), std::runtime_error);
}

}  // namespace
}  // namespace talvik::shot
