// Messages that say what to do: a take whose camera nothing names asks for
// --camera, and a plate sequence with its frame field in a folder name is
// found on disk as one with the field in the file name.
#include <gtest/gtest.h>

#include <filesystem>

#include "run_command.h"
#include "tests/support/fixture_util.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace fs = std::filesystem;

TEST(Messages, ATakeWithNoCameraNumberAsksForCamera) {
    test::ScratchFolder dir;
    const std::string take = fbx::testing::fixture("blender_take.fbx");  // no digit before ".fbx"
    CommandResult r = run_stmap({"render", "--size", "8x8", "--fbx", take, "-o", dir.file("m.exr")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no camera number was found"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("give --camera N"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("anamorphic"), std::string::npos) << "controls the user sees: " << r.err;
    EXPECT_TRUE(dir.entries().empty());

    // A camera given but without animation: no such hint.
    r = run_stmap({"render", "--size", "8x8", "--fbx", take, "--camera", "7", "-o", dir.file("m.exr")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find("give --camera N"), std::string::npos) << r.err;
}

TEST(Messages, AFrameFieldInAPlatesFolderWorksWithoutFrames) {
    test::ScratchFolder dir;
    for (const char* frame : {"pf/f_0001", "pf/f_0002", "pf/f_0003"}) {
        fs::create_directories(dir.file(frame));
        fs::copy_file(std::string(TALVIK_SAMPLE_DIR) + "/plate.exr", dir.file(frame) + "/p.exr");
    }
    fs::create_directories(dir.file("pf/f_0009"));  // a frame folder without its plate
    fs::create_directories(dir.file("pf/other"));
    for (const std::string plates : {"pf/f_####/p.exr", "pf/f_%04d/p.exr"}) {
        SCOPED_TRACE(plates);
        const CommandResult r =
            run_stmap({"render", "--plate", dir.file(plates), "-q", "-o", dir.file("out/m.####.exr")});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char* f : {"out/m.0001.exr", "out/m.0002.exr", "out/m.0003.exr"})
            EXPECT_TRUE(fs::is_regular_file(dir.file(f))) << f;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("out")), fs::directory_iterator()), 3);
        fs::remove_all(dir.file("out"));
    }
}

}  // namespace
}  // namespace talvik::test
