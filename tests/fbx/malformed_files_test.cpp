// Damaged files are rejected with an FbxError naming the file and the fault.
#include <gtest/gtest.h>

#include "host/fbx/fbx_scene.h"
#include "tests/support/fixture_util.h"

namespace talvik::fbx {
namespace {

struct Damaged {
    const char* file;
    const char* fault;       // must appear in the message
    const char* also = "";   // and so must this
};

std::ostream& operator<<(std::ostream& os, const Damaged& d) { return os << d.file; }

std::string error_of(const std::string& path) {
    try {
        read_scene(path);
    } catch (const FbxError& e) {
        return e.what();
    }
    return "(read without error)";
}

class DamagedFileTest : public ::testing::TestWithParam<Damaged> {};

TEST_P(DamagedFileTest, IsRejectedWithAClearMessage) {
    const std::string path = testing::fixture(GetParam().file);
    const std::string message = error_of(path);
    EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(GetParam().fault), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().also), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, DamagedFileTest,
    ::testing::Values(
        Damaged{"bad_truncated.fbx", "record 'Objects' at offset", "past the end of the file"},
        Damaged{"bad_truncated_header.fbx", "too short for a binary FBX header"},
        Damaged{"bad_magic.fbx", "bad binary FBX header"},
        Damaged{"bad_version.fbx", "version 6100 is not supported"},
        Damaged{"bad_zlib.fbx", "KeyValueFloat: bad zlib data"},
        Damaged{"bad_count_raw.fbx", "1073741824 elements needs 4294967296 bytes but stores 12"},
        Damaged{"bad_count_zlib.fbx", "cannot come from 18 bytes of zlib data"},
        Damaged{"bad_key_mismatch.fbx", "has 3 KeyTime values but 2 KeyValueFloat values"},
        Damaged{"bad_key_mismatch_ascii.fbx", "has 3 KeyTime values but 2 KeyValueFloat values"},
        Damaged{"bad_ascii_count.fbx", "array declares *4 values but lists 3"},
        Damaged{"bad_end_offset.fbx", "record 'Objects' at offset", "past the end of the file"},
        Damaged{"bad_backwards_offset.fbx", "record 'Version'", "pointing backwards"},
        Damaged{"bad_deep_nesting.fbx", "nested more than 64 deep"},
        Damaged{"bad_deep_nesting_ascii.fbx", "nested more than 64 deep"},
        Damaged{"bad_time_mode.fbx", "TimeMode 99 is not a known FBX time mode"},
        Damaged{"bad_ascii_unclosed.fbx", "'{' is never closed"},
        Damaged{"no_such_file.fbx", "cannot open"}),
    [](const auto& info) {
        std::string n = info.param.file;
        return n.substr(0, n.find('.'));
    });

// Any prefix of a binary file loses at least the end-of-records marker.
TEST(DamagedBytes, EveryTruncationOfABinaryFileIsRejected) {
    for (const char* name : {"crafted_v7400.fbx", "crafted_zlib.fbx"}) {
        const std::vector<uint8_t> bytes = testing::read_bytes(testing::fixture(name));
        // The footer after the end marker is not read; cut before it.
        const size_t marker_end = bytes.size() - 32;
        for (size_t n = 0; n < marker_end; ++n) {
            // A copy of exactly n bytes, so reading past it is a sanitizer error.
            const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
            EXPECT_THROW(parse_scene(cut.data(), cut.size(), "cut"), FbxError) << name << " at " << n;
        }
    }
}

// Flipping any one byte must give a scene or an FbxError, never another
// exception (bad_alloc, length_error...) or a crash under the sanitizers.
TEST(DamagedBytes, SingleByteDamageIsReadOrRejected) {
    for (const char* name : {"crafted_v7500.fbx", "crafted_ascii.fbx", "crafted_zlib.fbx"}) {
        std::vector<uint8_t> bytes = testing::read_bytes(testing::fixture(name));
        for (size_t i = 0; i < bytes.size(); ++i) {
            for (uint8_t mask : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xff}}) {
                bytes[i] ^= mask;
                try {
                    parse_scene(bytes.data(), bytes.size(), name);
                } catch (const FbxError&) {
                } catch (const std::exception& e) {
                    ADD_FAILURE() << name << " byte " << i << ": " << e.what();
                }
                bytes[i] ^= mask;
            }
        }
    }
}

TEST(DamagedBytes, EmptyAndTinyInputs) {
    const uint8_t nothing[1] = {0};
    EXPECT_THROW(parse_scene(nothing, 0, "empty"), FbxError);
    EXPECT_THROW(parse_scene(nullptr, 0, "null"), FbxError);
    EXPECT_THROW(parse_scene(nothing, 1, "nul byte"), FbxError);
    const std::string text = "hello";
    EXPECT_THROW(parse_scene(reinterpret_cast<const uint8_t*>(text.data()), text.size(), "text"),
                 FbxError);
}

}  // namespace
}  // namespace talvik::fbx
