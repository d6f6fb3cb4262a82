// The camera the command reloads: the file name and the plate must agree,
// or --camera decides; the summary says which camera and why.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/crafted_plate.h"
#include "tests/support/exr_map.h"
#include "run_command.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

// The sample take (cameras 1 and 2, keyed 1001-1024) under another name.
std::string take_named(const test::ScratchFolder& dir, const std::string& name) {
    const std::string path = dir.file(name);
    std::filesystem::copy_file(std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx", path);
    return path;
}

std::string plate_naming(const test::ScratchFolder& dir, const std::string& camera_name) {
    const std::string path = dir.file("plate.exr");
    CraftedPlate plate;
    plate.camera_name = camera_name;
    write_plate(path, plate);
    return path;
}

int camera_of(const std::string& map_path) {
    return read_exr_map(map_path).attribute<Imf::IntAttribute>("talvik/camera_index")->value();
}

// Versioning a take up to v001 must not silently switch to camera 1 when
// the plate was shot with CineCamera2.
TEST(RenderCamera, FileNameAgainstPlateStopsUntilChosen) {
    test::ScratchFolder dir;
    const std::string take = take_named(dir, "take_v001.fbx");
    const std::string plate = plate_naming(dir, "CineCamera2");
    CommandResult r = run_stmap({"render", "--plate", plate, "--fbx", take, "--frames", "1001", "-o",
                                 dir.file("m.####.exr")});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("the file name take_v001.fbx gives camera 1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("unreal/cameraName CineCamera2 gives camera 2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--camera N"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.1001.exr"))) << "stopped before rendering";

    for (int camera : {1, 2}) {
        r = run_stmap({"render", "--plate", plate, "--fbx", take, "--frames", "1001", "--camera",
                       std::to_string(camera), "-o", dir.file("m.####.exr")});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("camera " + std::to_string(camera) + ", as chosen"), std::string::npos) << r.err;
        EXPECT_EQ(camera_of(dir.file("m.1001.exr")), camera);
    }
    // A camera set by name on the command line is a choice too.
    r = run_stmap({"render", "--plate", plate, "--fbx", take, "--frames", "1001", "--set", "camera_index=2",
                   "-o", dir.file("s.####.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(camera_of(dir.file("s.1001.exr")), 2);
}

TEST(RenderCamera, OneSourceOrTwoThatAgreeAreNamedInTheSummary) {
    test::ScratchFolder dir;
    const std::string take_cam2 = take_named(dir, "take_cam2.fbx");
    const std::string plain = take_named(dir, "take.fbx");
    const std::string plate = plate_naming(dir, "CineCamera2");
    const struct {
        std::vector<std::string> input;
        std::string take;
        std::string says;
    } cases[] = {
        {{"--size", "16x9"}, take_cam2, "camera 2, from the file name take_cam2.fbx\n"},
        {{"--plate", plate}, plain, "camera 2, from the plate's unreal/cameraName CineCamera2\n"},
        {{"--plate", plate}, take_cam2,
         "camera 2, from the file name take_cam2.fbx and the plate's unreal/cameraName CineCamera2\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"render", "--fbx", c.take, "--frames", "1001", "-o", dir.file("m.exr")};
        args.insert(args.end(), c.input.begin(), c.input.end());
        const CommandResult r = run_stmap(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(camera_of(dir.file("m.exr")), 2);
    }
}

}  // namespace
}  // namespace talvik::test
