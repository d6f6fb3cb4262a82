// Plates whose header holds values no valid OpenEXR file has are refused
// before anything is rendered, naming the plate and the attribute; a
// damaged plate is a failure in the work (exit 1), not bad usage.
#include <gtest/gtest.h>

#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "run_command.h"
#include "tests/support/crafted_plate.h"
#include "tests/support/exr_map.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

// A valid plate whose float attribute `name` is then set to `value` in the
// file's bytes, as OpenEXR itself would refuse to write it.
void write_plate_with(const std::string& path, const std::string& name, float value) {
    write_plate(path, CraftedPlate{});
    std::string bytes = test::read_bytes(path);
    const std::string key = name + '\0' + "float" + '\0';
    const size_t at = bytes.find(key);
    ASSERT_NE(at, std::string::npos) << name;
    std::memcpy(&bytes[at + key.size() + 4], &value, sizeof value);  // after the 4-byte size
    test::write_bytes(path, bytes);
}

struct BadValue {
    const char* attribute;
    float value;
};

TEST(PlateValues, HeaderValuesNoExrHoldsAreRefusedNamingPlateAndAttribute) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<BadValue> cases = {
        {"pixelAspectRatio", 0.0f}, {"pixelAspectRatio", -1.0f}, {"pixelAspectRatio", nan},
        {"pixelAspectRatio", inf},  {"pixelAspectRatio", 1e-9f}, {"screenWindowWidth", -1.0f},
        {"screenWindowWidth", nan}, {"screenWindowWidth", inf},
    };
    for (const BadValue& c : cases) {
        SCOPED_TRACE(std::string(c.attribute) + " " + std::to_string(c.value));
        test::ScratchFolder dir;
        write_plate_with(dir.file("bad_plate.exr"), c.attribute, c.value);
        const CommandResult r = run_stmap({"render", "--plate", dir.file("bad_plate.exr"), "-o", dir.file("m.exr")});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("bad_plate.exr"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.attribute), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("cannot write"), std::string::npos) << "refused as a plate: " << r.err;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"bad_plate.exr"}) << "nothing written";
    }
}

TEST(PlateValues, ASequenceOfSuchFramesNamesTheValueNotAFormatMismatch) {
    test::ScratchFolder dir;
    for (const char* frame : {"p.0001.exr", "p.0002.exr"})
        write_plate_with(dir.file(frame), "pixelAspectRatio", std::numeric_limits<float>::quiet_NaN());
    const CommandResult r = run_stmap({"render", "--plate", dir.file("p.####.exr"), "-o", dir.file("m.####.exr")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("p.0001.exr\": pixelAspectRatio nan"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("but frame"), std::string::npos) << r.err;
}

// A data window too large to render is a damaged plate; an --overscan
// request that grows a sound plate's box too far is bad usage.
TEST(PlateValues, ADataWindowTooLargeIsAFailureInTheWork) {
    test::ScratchFolder dir;
    const Imath::Box2i display(Imath::V2i(0, 0), Imath::V2i(99, 99));
    {
        Imf::Header header(display, Imath::Box2i(Imath::V2i(-100000, 0), Imath::V2i(100000, 99)));
        header.channels().insert("R", Imf::Channel(Imf::HALF));
        Imf::OutputFile file(dir.file("wide.exr").c_str(), header);
    }
    CommandResult r = run_stmap({"render", "--plate", dir.file("wide.exr"), "-o", dir.file("m.exr")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("wide.exr"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("data window"), std::string::npos) << r.err;

    CraftedPlate sound;
    sound.width = sound.height = 100;
    write_plate(dir.file("sound.exr"), sound);
    r = run_stmap({"render", "--plate", dir.file("sound.exr"), "--overscan", "40000", "-o", dir.file("m.exr")});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("--overscan 40000"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.exr")));
}

}  // namespace
}  // namespace talvik::test

namespace talvik::test {
namespace {

// A plate carrying talvik/ attributes (a map read back as a plate, or a
// plate a tool stamped): the map says what it was made from, never what
// the plate claimed.
TEST(PlateValues, APlatesTalvikAttributesNeverReachTheMap) {
    test::ScratchFolder dir;
    CraftedPlate plate;
    plate.extra.insert("talvik/overscan/left", Imf::IntAttribute(500));
    plate.extra.insert("talvik/overscan/top", Imf::IntAttribute(7));
    plate.extra.insert("talvik/fx", Imf::FloatAttribute(1.0f));
    plate.extra.insert("talvik/lensModel", Imf::IntAttribute(99));
    plate.extra.insert("talvik/note", Imf::StringAttribute("from the plate"));
    plate.extra.insert("comments", Imf::StringAttribute("kept"));
    write_plate(dir.file("plate.exr"), plate);
    for (const bool overscan : {false, true}) {
        SCOPED_TRACE(overscan ? "--overscan 3" : "no overscan");
        std::vector<std::string> args = {"render", "--plate", dir.file("plate.exr"), "--set", "fx=1500", "-q", "-o",
                                         dir.file("m.exr")};
        if (overscan) args.insert(args.end(), {"--overscan", "3"});
        const CommandResult r = run_stmap(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const ExrMap map = read_exr_map(dir.file("m.exr"));
        EXPECT_EQ(map.attribute<Imf::FloatAttribute>("talvik/fx")->value(), 1500.0f);
        EXPECT_NE(map.attribute<Imf::IntAttribute>("talvik/lensModel")->value(), 99);
        EXPECT_EQ(map.attribute<Imf::StringAttribute>("talvik/note"), nullptr);
        EXPECT_EQ(map.attribute<Imf::StringAttribute>("comments")->value(), "kept");
        const auto* left = map.attribute<Imf::IntAttribute>("talvik/overscan/left");
        const auto* top = map.attribute<Imf::IntAttribute>("talvik/overscan/top");
        if (overscan) {
            ASSERT_TRUE(left && top);
            EXPECT_EQ(left->value(), 3);
            EXPECT_EQ(top->value(), 3);
        } else {
            EXPECT_EQ(left, nullptr);
            EXPECT_EQ(top, nullptr);
        }
    }
}

}  // namespace
}  // namespace talvik::test
