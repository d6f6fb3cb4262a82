// Plates as sequences: each frame's own header reaches that frame's map, as
// a Read node reads it; a missing frame or one of another format is named.
// And what a map carries from its plate: everything but colour.
#include <gtest/gtest.h>

#include <ImfChromaticitiesAttribute.h>
#include <ImfRationalAttribute.h>
#include <ImfVecAttribute.h>

#include <filesystem>

#include "tests/support/crafted_plate.h"
#include "tests/support/exr_map.h"
#include "run_command.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

const std::string kTake = std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx";

// Frames 1001-1003 of a plate, each with its own time code and a different
// name for camera 2.
void write_sequence(const test::ScratchFolder& dir) {
    const char* names[] = {"CineCamera2", "CineCameraActor2", "unit_b_cam2"};
    for (int i = 0; i < 3; ++i) {
        CraftedPlate plate;
        plate.camera_name = names[i];
        plate.time_code_frame = 1 + i;
        write_plate(dir.file("plate." + std::to_string(1001 + i) + ".exr"), plate);
    }
}

TEST(PlateSequence, EachFrameCarriesItsOwnHeader) {
    test::ScratchFolder dir;
    write_sequence(dir);
    // No --frames: the sequence's frames on disk.
    for (const char* pattern : {"plate.####.exr", "plate.%04d.exr"}) {
        const CommandResult r = run_stmap({"render", "--plate", dir.file(pattern), "--fbx", kTake, "-o",
                                           dir.file("out/m.####.exr")});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("wrote 3 frames"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("camera 2, from the plate's unreal/cameraName CineCamera2 (frame 1001)"),
                  std::string::npos)
            << r.err;
        const char* names[] = {"CineCamera2", "CineCameraActor2", "unit_b_cam2"};
        for (int i = 0; i < 3; ++i) {
            const ExrMap map = read_exr_map(dir.file("out/m." + std::to_string(1001 + i) + ".exr"));
            EXPECT_EQ(map.width, 16);
            EXPECT_EQ(map.attribute<Imf::StringAttribute>("unreal/cameraName")->value(), names[i]);
            ASSERT_NE(map.attribute<Imf::TimeCodeAttribute>("timeCode"), nullptr);
            EXPECT_EQ(map.attribute<Imf::TimeCodeAttribute>("timeCode")->value().frame(), 1 + i);
            EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/frame")->value(), 1001 + i);
        }
    }
}

// Whatever its name holds, no pattern of frames (two fields, "%5d") included.
TEST(PlateSequence, AFileNamedWithHashesIsOneFile) {
    for (const char* name : {"shot#1.exr", "plate_##_v##.exr", "shot%5d.exr"}) {
        SCOPED_TRACE(name);
        test::ScratchFolder dir;
        CraftedPlate plate;
        plate.time_code_frame = 9;
        write_plate(dir.file(name), plate);
        const CommandResult r = run_stmap({"render", "--plate", dir.file(name), "--frames", "1-2", "-o",
                                           dir.file("m.#.exr"), "--quiet"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_exr_map(dir.file("m.2.exr")).attribute<Imf::TimeCodeAttribute>("timeCode")->value().frame(), 9);
    }
}

TEST(PlateSequence, MissingFramesAndOtherFormatsAreNamed) {
    test::ScratchFolder dir;
    write_sequence(dir);
    CommandResult r = run_stmap({"render", "--plate", dir.file("plate.####.exr"), "--fbx", kTake, "--frames",
                                 "1001-1004", "-o", dir.file("m.####.exr")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("plate frame 1004 is missing"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(dir.file("plate.1004.exr")), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.1001.exr"))) << "nothing rendered";

    CraftedPlate wide;
    wide.width = 20;
    wide.camera_name = "CineCamera2";
    write_plate(dir.file("plate.1002.exr"), wide);
    r = run_stmap({"render", "--plate", dir.file("plate.####.exr"), "--fbx", kTake, "-o", dir.file("m.####.exr")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("plate frame 1002"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("20 x 9 but frame 1001 is 16 x 9"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.1001.exr")));

    std::filesystem::remove(dir.file("plate.1001.exr"));
    std::filesystem::remove(dir.file("plate.1002.exr"));
    std::filesystem::remove(dir.file("plate.1003.exr"));
    r = run_stmap({"render", "--plate", dir.file("plate.####.exr"), "--fbx", kTake, "-o", dir.file("m.####.exr")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("has no frames"), std::string::npos) << r.err;
}

TEST(PlateSequence, FramesNamingDifferentCamerasNeedAChoice) {
    test::ScratchFolder dir;
    write_sequence(dir);
    CraftedPlate other;
    other.camera_name = "CineCamera1";
    write_plate(dir.file("plate.1003.exr"), other);
    CommandResult r = run_stmap({"render", "--plate", dir.file("plate.####.exr"), "--fbx", kTake, "-o",
                                 dir.file("m.####.exr")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("CineCamera2 (camera 2) at frame 1001, CineCamera1 (camera 1) at frame 1003"),
              std::string::npos)
        << r.err;
    r = run_stmap({"render", "--plate", dir.file("plate.####.exr"), "--fbx", kTake, "--camera", "1", "-o",
                   dir.file("m.####.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_exr_map(dir.file("m.1003.exr")).attribute<Imf::IntAttribute>("talvik/camera_index")->value(), 1);
}

// A map is data: the plate's colour description stays behind, everything
// else a Write node would carry comes along.
TEST(PlateMetadata, ColourAttributesStayBehindTheRestIsCarried) {
    test::ScratchFolder dir;
    CraftedPlate plate;
    plate.camera_name = "CineCamera2";
    plate.time_code_frame = 7;
    plate.extra.insert("chromaticities", Imf::ChromaticitiesAttribute(Imf::Chromaticities()));
    plate.extra.insert("whiteLuminance", Imf::FloatAttribute(100.0f));
    plate.extra.insert("adoptedNeutral", Imf::V2fAttribute(Imath::V2f(0.32f, 0.33f)));
    plate.extra.insert("acesImageContainerFlag", Imf::IntAttribute(1));
    plate.extra.insert("renderingTransform", Imf::StringAttribute("RRT"));
    plate.extra.insert("lookModTransform", Imf::StringAttribute("LMT"));
    plate.extra.insert("owner", Imf::StringAttribute("unit B"));
    plate.extra.insert("capDate", Imf::StringAttribute("2026:12:07 10:00:00"));
    plate.extra.insert("framesPerSecond", Imf::RationalAttribute(Imf::Rational(24, 1)));
    plate.extra.insert("focus", Imf::FloatAttribute(3.5f));
    write_plate(dir.file("plate.exr"), plate);

    const CommandResult r = run_stmap({"render", "--plate", dir.file("plate.exr"), "--set", "k1=0.01", "-o",
                                       dir.file("m.exr"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ExrMap map = read_exr_map(dir.file("m.exr"));
    for (const char* colour : {"chromaticities", "whiteLuminance", "adoptedNeutral", "acesImageContainerFlag",
                               "renderingTransform", "lookModTransform"})
        EXPECT_EQ(map.header.find(colour), map.header.end()) << colour << " was carried onto the map";
    EXPECT_EQ(map.attribute<Imf::StringAttribute>("owner")->value(), "unit B");
    EXPECT_EQ(map.attribute<Imf::StringAttribute>("capDate")->value(), "2026:12:07 10:00:00");
    EXPECT_EQ(map.attribute<Imf::RationalAttribute>("framesPerSecond")->value().n, 24);
    EXPECT_EQ(map.attribute<Imf::FloatAttribute>("focus")->value(), 3.5f);
    EXPECT_EQ(map.attribute<Imf::TimeCodeAttribute>("timeCode")->value().frame(), 7);
    EXPECT_EQ(map.attribute<Imf::StringAttribute>("unreal/cameraName")->value(), "CineCamera2");
    EXPECT_EQ(map.attribute<Imf::FloatAttribute>("talvik/k1")->value(), 0.01f);

    // talvik/version is the version the command reports.
    const CommandResult version = run_stmap({"--version"});
    ASSERT_NE(map.attribute<Imf::StringAttribute>("talvik/version"), nullptr);
    EXPECT_EQ(version.out.rfind("talvik-stmap " + map.attribute<Imf::StringAttribute>("talvik/version")->value() + "\n", 0),
              0u)
        << version.out;
}

}  // namespace
}  // namespace talvik::test

namespace talvik::test {
namespace {

// Frames 1001, 1002, 1004 and 1008 on disk: 1003 and 1005-1007 are gone
// (a failed render, frames deleted by hand).
TEST(PlateSequence, FramesMissingBetweenTheFirstAndLastAreNamed) {
    test::ScratchFolder dir;
    for (int frame : {1001, 1002, 1004, 1008}) write_plate(dir.file("p." + std::to_string(frame) + ".exr"), CraftedPlate{});
    const std::string gap = "has no frame 1003, 1005-1007 between its frames 1001 and 1008";
    CommandResult r = run_stmap({"render", "--plate", dir.file("p.####.exr"), "-q", "-o", dir.file("m.####.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(gap), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("m.1008.exr")));
    r = run_stmap({"render", "--plate", dir.file("p.####.exr"), "--strict", "-o", dir.file("s.####.exr")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(gap), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("s.1001.exr")));
    // Frames asked for are read as asked: frames between them are not missing.
    r = run_stmap({"render", "--plate", dir.file("p.####.exr"), "--frames", "1002,1004", "--strict", "-q", "-o",
                   dir.file("f.####.exr")});
    EXPECT_EQ(r.status, 0) << r.err;
    // Nor is anything missing from a sequence without gaps.
    test::ScratchFolder whole;
    for (int frame : {1001, 1002, 1003}) write_plate(whole.file("p." + std::to_string(frame) + ".exr"), CraftedPlate{});
    r = run_stmap({"render", "--plate", whole.file("p.####.exr"), "--strict", "-q", "-o", whole.file("m.####.exr")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace talvik::test
